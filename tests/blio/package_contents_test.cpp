// Whole runs over real exports, judged by the delivered package: what it holds
// under which entry names, that it still renders, that its descriptions point
// at entries it has and that every file type is declared.
#include <regex>
#include <set>

#include "blio_fixture.h"

namespace packager::testing {
namespace {

const std::string kKnfb = "Documents/1/Other/KNFB/";
const std::string kContent = kKnfb + "EnhancedContent/";

// A part's bytes, its pieces joined in order when it is interleaved.
std::string partText(const fs::path& package, const std::string& name) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {};
    if (auto whole = archive->read(name)) return *whole;
    std::string text;
    for (int index = 0;; ++index) {
        const std::string prefix = name + "/[" + std::to_string(index) + "]";
        std::optional<std::string> piece = archive->read(prefix + ".piece");
        text += piece.value_or(archive->read(prefix + ".last.piece").value_or(""));
        if (!piece) return text;
    }
}

std::set<std::string> partNames(const fs::path& package) {
    static const std::regex piece("/\\[[0-9]+\\](\\.last)?\\.piece$");
    std::set<std::string> names;
    for (const std::string& entry : entryNames(package)) names.insert(std::regex_replace(entry, piece, ""));
    return names;
}

// Every part has a content type, and each page of the package renders on its own.
void expectValidPackage(const fs::path& package, const fs::path& scratch, int pages) {
    EXPECT_EQ(untypedParts(package), std::vector<std::string>{});
    for (int page = 1; page <= pages; ++page) {
        const fs::path image = scratch / ("page-" + std::to_string(page) + ".png");
        EXPECT_EQ(runCommand("mutool draw -q -r 36 -o " + shellQuote(image) + " " + shellQuote(package) + " " + std::to_string(page)), 0);
        EXPECT_TRUE(fs::exists(image) && fs::file_size(image) > 0) << image;
    }
}

std::vector<std::string> described(const fs::path& package, const std::string& file, const std::string& attribute) {
    std::vector<std::string> values;
    auto document = xml::Document::parseMemory(partText(package, kContent + file));
    if (!document) return values;
    for (const xml::Element& description : document->root().children().at(0).children())
        values.push_back(description.attribute(attribute).value_or(""));
    return values;
}

class PackageContentsTest : public ScratchTest {};

TEST_F(PackageContentsTest, CorpusExportBecomesACompletePackage) {
    const fs::path source = copyExportFolder(corpusDir() / "blio-export" / "book1", scratch / "export");
    fs::create_directories(source / "Flow" / "empty");
    const fs::path package = scratch / "out" / "Book.xps";
    ASSERT_EQ(packageBlio(source, scratch / "out" / "Book"), 0u);

    const std::set<std::string> parts = partNames(package);
    for (const char* name : {"EnhancedContent/OverlayContent.xml", "EnhancedContent/VideoContent.xml", "PageNumbers.xml",
                             "Metadata.xml", "TableOfContents.xml", "Flow/flow_0001.xml", "Flow/flow_0002.xml",
                             "Flow/chapter1/page.xml", "CoverArt.jpg", "BackArt.jpg", "SpineArt.jpg"})
        EXPECT_TRUE(parts.contains(kKnfb + name)) << name;
    EXPECT_TRUE(parts.contains("Documents/1/Metadata/thumb-001.png"));
    EXPECT_FALSE(parts.contains("Documents/1/Metadata/notes.txt"));
    EXPECT_FALSE(parts.contains(kKnfb + "Flow/empty") || parts.contains(kKnfb + "Flow/empty/"));

    // One video, three overlays, each pointing at a part of the package.
    std::vector<std::string> uris = described(package, "VideoContent.xml", "NavigateUri");
    for (const std::string& uri : described(package, "VideoContent.xml", "CoverImageUri")) uris.push_back(uri);
    for (const std::string& uri : described(package, "OverlayContent.xml", "NavigateUri")) uris.push_back(uri);
    ASSERT_EQ(uris.size(), 5u);
    for (const std::string& uri : uris) EXPECT_TRUE(parts.contains(kContent + uri)) << uri;
    EXPECT_EQ(partText(package, kContent + uris[0]), readText(source / "assets" / "video" / "clip.mp4"));

    EXPECT_EQ(partText(package, kKnfb + "PageNumbers.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PageNumberMap>\n"
              "  <Page Index=\"0\" Folio=\"1\" WordCount=\"\" PageHeight=\"\" PageWidth=\"\"/>\n</PageNumberMap>\n");
    // The spine art is 24 pixels of 3 bytes each per row.
    const std::string metadata = readText(source / "Metadata.xml");
    EXPECT_NE(metadata.find("Depth=\"0.3333333333333333\""), std::string::npos) << metadata;
    EXPECT_EQ(partText(package, kKnfb + "Metadata.xml"), metadata);
    expectValidPackage(package, scratch, 1);

    // A second run finds no placeholder left and changes nothing more.
    ASSERT_EQ(packageBlio(source, scratch / "again"), 0u);
    EXPECT_EQ(readText(source / "Metadata.xml"), metadata);
}

TEST_F(PackageContentsTest, ExampleExportWithTiffPageRenders) {
    const fs::path source = copyExportFolder(sourceDir() / "examples" / "blio-book", scratch / "export");
    ASSERT_EQ(packageBlio(source, scratch / "Book"), 0u);
    for (const std::string& name : partNames(scratch / "Book.xps")) EXPECT_NE(fs::path(name).extension(), ".tif") << name;
    EXPECT_NE(readText(source / "Metadata.xml").find("Depth=\"1\""), std::string::npos);  // no spine art
    expectValidPackage(scratch / "Book.xps", scratch, 1);
}

// OPC readers refuse a package in which a part has no content type, however
// its content types are stored: every example and corpus export, and every
// corpus XPS in an export of its own with an empty asset list.
TEST_F(PackageContentsTest, EveryPartOfEveryPackageHasAContentType) {
    std::vector<fs::path> exports = {copyExportFolder(sourceDir() / "examples" / "blio-book", scratch / "blio-book"),
                                     copyExportFolder(corpusDir() / "blio-export" / "book1", scratch / "book1")};
    for (const auto& item : fs::directory_iterator(corpusDir() / "xps")) {
        if (item.path().extension() != ".xps") continue;
        const fs::path source = scratch / item.path().stem();
        fs::create_directories(source);
        fs::copy_file(item.path(), source / item.path().filename());
        writeText(source / "AssetList.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AssetList/>\n");
        exports.push_back(source);
    }
    for (const fs::path& source : exports) {
        SCOPED_TRACE(source.filename().string());
        const fs::path out = scratch / "out" / source.filename();
        ASSERT_EQ(packageBlio(source, out), 0u);
        EXPECT_EQ(untypedParts(out.string() + ".xps"), std::vector<std::string>{});
    }
}

TEST_F(PackageContentsTest, BadInputLeavesOutOnlyWhatIsBad) {
    const fs::path source = copyExportFolder(sourceDir() / "examples" / "blio-book", scratch / "export");
    writeText(source / "AssetList.xml", "<AssetList><Asset Type=\"video\"><Path>");
    const std::string latin1 = "<Metadata Title=\"Caf\xE9\" Depth=\"#SPINEDEPTH#\"/>";
    writeText(source / "Metadata.xml", latin1);
    writeText(source / "Thumbnails" / "page-002.png", "not really a PNG");
    ASSERT_EQ(packageBlio(source, scratch / "Book"), 0u);

    const std::set<std::string> parts = partNames(scratch / "Book.xps");
    EXPECT_EQ(partText(scratch / "Book.xps", kKnfb + "Metadata.xml"), latin1);
    EXPECT_TRUE(parts.contains(kKnfb + "Flow/flow_0001.xml"));
    EXPECT_TRUE(parts.contains("Documents/1/Metadata/page-002.png"));
    EXPECT_FALSE(parts.contains(kContent + "OverlayContent.xml"));
    expectValidPackage(scratch / "Book.xps", scratch, 1);
}

}  // namespace
}  // namespace packager::testing
