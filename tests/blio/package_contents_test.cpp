// Whole runs over real exports, judged by the delivered package: what it holds
// under which entry names, that it still renders, that its descriptions point
// at entries it has and that every file type is declared.
#include <cctype>
#include <map>
#include <regex>
#include <set>

#include "blio_fixture.h"

namespace packager::testing {
namespace {

constexpr std::string_view kKnfb = "Documents/1/Other/KNFB/";
const std::string kContent = "Documents/1/Other/KNFB/EnhancedContent/";

// A part's name without the "/[n].piece" or "/[n].last.piece" of an
// interleaved part.
std::string partName(const std::string& entry) {
    static const std::regex piece("/\\[[0-9]+\\](\\.last)?\\.piece$");
    return std::regex_replace(entry, piece, "");
}

// A part's bytes, its pieces joined in order when it is interleaved.
std::string partText(const fs::path& package, const std::string& name) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {};
    if (auto whole = archive->read(name)) return *whole;
    std::string text;
    for (int index = 0;; ++index) {
        const std::string prefix = name + "/[" + std::to_string(index) + "]";
        if (auto part = archive->read(prefix + ".piece")) {
            text += *part;
        } else {
            if (auto last = archive->read(prefix + ".last.piece")) text += *last;
            return text;
        }
    }
}

std::set<std::string> partNames(const fs::path& package) {
    std::set<std::string> names;
    for (const std::string& entry : entryNames(package))
        if (!entry.ends_with("/")) names.insert(partName(entry));
    return names;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Every part other than the content-type list itself has its type declared,
// by its extension or by its own name.
void expectEveryTypeDeclared(const fs::path& package) {
    auto types = xml::Document::parseMemory(partText(package, "[Content_Types].xml"));
    ASSERT_TRUE(types);
    std::set<std::string> extensions, overrides;
    for (const xml::Element& element : types->root().children()) {
        if (auto extension = element.attribute("Extension")) extensions.insert(lower(*extension));
        if (auto part = element.attribute("PartName")) overrides.insert(lower(*part));
    }
    for (const std::string& name : partNames(package)) {
        if (name == "[Content_Types].xml") continue;
        const std::string file = fs::path(name).filename().string();
        const std::size_t dot = file.rfind('.');
        const std::string extension = dot == std::string::npos ? "" : lower(file.substr(dot + 1));
        EXPECT_TRUE(extensions.contains(extension) || overrides.contains(lower("/" + name))) << name;
    }
}

// Each page of the package renders on its own.
void expectRendersPageByPage(const fs::path& package, const fs::path& scratch, int pages) {
    for (int page = 1; page <= pages; ++page) {
        const fs::path image = scratch / ("page-" + std::to_string(page) + ".png");
        EXPECT_EQ(runCommand("mutool draw -q -r 36 -o " + shellQuote(image) + " " + shellQuote(package) + " " +
                             std::to_string(page) + " 2>&1"),
                  0);
        EXPECT_GT(fs::exists(image) ? fs::file_size(image) : 0, 0u) << image;
    }
}

std::vector<std::string> descriptionUris(const fs::path& package, const std::string& file, const std::string& list,
                                         const std::string& item, const std::string& attribute) {
    std::vector<std::string> uris;
    auto document = xml::Document::parseMemory(partText(package, kContent + file));
    if (!document) return uris;
    for (const xml::Element& element : document->root().firstChild(list).children(item))
        uris.push_back(element.attribute(attribute).value_or(""));
    return uris;
}

class PackageContentsTest : public ScratchTest {};

TEST_F(PackageContentsTest, CorpusExportBecomesACompletePackage) {
    const fs::path source = copyBlioExport(corpusDir() / "blio-export" / "book1", scratch / "export");
    fs::create_directories(source / "Flow" / "empty");
    const fs::path package = scratch / "out" / "Book.xps";
    ASSERT_EQ(packageBlio(source, scratch / "out" / "Book"), 0u);

    const std::set<std::string> parts = partNames(package);
    for (const char* name :
         {"EnhancedContent/OverlayContent.xml", "EnhancedContent/VideoContent.xml", "PageNumbers.xml", "Metadata.xml",
          "TableOfContents.xml", "Flow/flow_0001.xml", "Flow/flow_0002.xml", "Flow/chapter1/page.xml", "CoverArt.jpg",
          "BackArt.jpg", "SpineArt.jpg"})
        EXPECT_TRUE(parts.contains(std::string(kKnfb) + name)) << name;
    EXPECT_TRUE(parts.contains("Documents/1/Metadata/thumb-001.png"));
    EXPECT_FALSE(parts.contains("Documents/1/Metadata/notes.txt"));
    for (const std::string& name : parts) EXPECT_FALSE(name.starts_with(std::string(kKnfb) + "Flow/empty")) << name;
    EXPECT_EQ(partText(package, std::string(kKnfb) + "Flow/chapter1/page.xml"),
              readText(source / "Flow" / "chapter1" / "page.xml"));

    // Four assets: one video, three overlays, each pointing into the package.
    std::vector<std::string> uris = descriptionUris(package, "VideoContent.xml", "VideoinfosList", "Videoinfo", "NavigateUri");
    const auto covers = descriptionUris(package, "VideoContent.xml", "VideoinfosList", "Videoinfo", "CoverImageUri");
    const auto overlays =
        descriptionUris(package, "OverlayContent.xml", "EnhancedOverlayinfoList", "EnhancedOverlayinfo", "NavigateUri");
    EXPECT_EQ(uris.size(), 1u);
    EXPECT_EQ(overlays.size(), 3u);
    uris.insert(uris.end(), covers.begin(), covers.end());
    uris.insert(uris.end(), overlays.begin(), overlays.end());
    for (const std::string& uri : uris) EXPECT_TRUE(parts.contains(kContent + uri)) << uri;
    EXPECT_EQ(partText(package, kContent + uris[0]), readText(source / "assets" / "video" / "clip.mp4"));
    // The slideshow's three images (not its text file) and the widget's style sheet came along.
    std::size_t slides = 0;
    for (const std::string& name : parts) {
        const std::string extension = fs::path(name).extension().string();
        slides += name.starts_with(kContent + "OverlayAssets/Slideshow/") && (extension == ".jpg" || extension == ".png");
    }
    EXPECT_EQ(slides, 3u);
    const std::string widgetKey = fs::path(overlays[2]).stem().string();
    EXPECT_TRUE(parts.contains(kContent + "OverlayAssets/Html/" + widgetKey + "/style.css"));
    EXPECT_FALSE(parts.contains(kContent + "OverlayAssets/Html/HtmlViewer.html"));

    EXPECT_EQ(partText(package, std::string(kKnfb) + "PageNumbers.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PageNumberMap>\n"
              "  <Page Index=\"0\" Folio=\"1\" WordCount=\"\" PageHeight=\"\" PageWidth=\"\"/>\n</PageNumberMap>\n");
    // The spine art is 24 pixels of 3 bytes each per row.
    const std::string metadata = readText(source / "Metadata.xml");
    EXPECT_NE(metadata.find("Depth=\"0.3333333333333333\""), std::string::npos) << metadata;
    EXPECT_EQ(partText(package, std::string(kKnfb) + "Metadata.xml"), metadata);

    expectEveryTypeDeclared(package);
    expectRendersPageByPage(package, scratch, 1);

    // A second run finds no placeholder left and changes nothing more.
    ASSERT_EQ(packageBlio(source, scratch / "again"), 0u);
    EXPECT_EQ(readText(source / "Metadata.xml"), metadata);
}

TEST_F(PackageContentsTest, ExampleExportWithTiffPageRenders) {
    const fs::path source = copyBlioExport(sourceDir() / "examples" / "blio-book", scratch / "export");
    const fs::path package = scratch / "Book.xps";
    ASSERT_EQ(packageBlio(source, scratch / "Book"), 0u);

    const std::set<std::string> parts = partNames(package);
    for (const std::string& name : parts) EXPECT_NE(fs::path(name).extension(), ".tif") << name;
    EXPECT_NE(readText(source / "Metadata.xml").find("Depth=\"1\""), std::string::npos);  // no spine art
    EXPECT_EQ(descriptionUris(package, "VideoContent.xml", "VideoinfosList", "Videoinfo", "CoverImageUri").size(), 1u);
    expectEveryTypeDeclared(package);
    expectRendersPageByPage(package, scratch, 1);
}

TEST_F(PackageContentsTest, BadInputLeavesOutOnlyWhatIsBad) {
    const fs::path source = copyBlioExport(sourceDir() / "examples" / "blio-book", scratch / "export");
    writeText(source / "AssetList.xml", "<AssetList><Asset Type=\"video\"><Path>");
    const std::string latin1 = "<Metadata Title=\"Caf\xE9\" Depth=\"#SPINEDEPTH#\"/>";
    writeText(source / "Metadata.xml", latin1);
    writeText(source / "Thumbnails" / "page-002.png", "not really a PNG");
    const fs::path package = scratch / "Book.xps";
    ASSERT_EQ(packageBlio(source, scratch / "Book"), 0u);

    const std::set<std::string> parts = partNames(package);
    EXPECT_EQ(partText(package, std::string(kKnfb) + "Metadata.xml"), latin1);
    EXPECT_TRUE(parts.contains(std::string(kKnfb) + "Flow/flow_0001.xml"));
    EXPECT_TRUE(parts.contains("Documents/1/Metadata/page-002.png"));
    // Nothing was described; only the unused viewer templates are there.
    for (const std::string& name : parts) {
        if (name.starts_with(kContent)) {
            EXPECT_EQ(fs::path(name).extension(), ".html") << name;
        }
    }
    EXPECT_FALSE(parts.contains(kContent + "OverlayContent.xml"));
    expectRendersPageByPage(package, scratch, 1);
}

}  // namespace
}  // namespace packager::testing
