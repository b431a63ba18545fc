// Every XML file a run reads, given an entity bomb or entities that name a
// local file: the run finishes, and neither the expansion nor the file's
// text reaches the book.
#include <chrono>

#include "hostile_export.h"

namespace packager::testing {
namespace {

struct XmlInput {
    const char* name;
    const char* root;
    // The file with `dtd` as its internal subset and `reference` in a place
    // whose text reaches the book when expanded.
    std::string (*write)(const std::string& dtd, const std::string& reference);
    bool inBundle;  // the file is the bundle's, not the export's
    const char* path;
};

const XmlInput kInputs[] = {
    {"AssetList", "AssetList",
     [](const std::string& dtd, const std::string& reference) {
         return "<!DOCTYPE AssetList [" + dtd + "]><AssetList><Asset Type=\"audio\" ID=\"box7\"><Path>@EXPORT@/assets/foghorn.mp3" +
                reference + "</Path></Asset><Asset Type=\"url\" ID=\"" + reference + "\"><Path>" + reference +
                "</Path></Asset></AssetList>";
     },
     false, "AssetList.xml"},
    {"Metadata", "Metadata",
     [](const std::string& dtd, const std::string& reference) {
         return "<!DOCTYPE Metadata [" + dtd + "]><Metadata><Edition Name=\"Title " + reference +
                "\"/><Subject Keyword=\"" + reference + "\"/><Description Text=\"" + reference + "\"/></Metadata>";
     },
     false, "OEBPS/Metadata.xml"},
    {"MediaTypes", "MediaTypes",
     [](const std::string& dtd, const std::string& reference) {
         return "<!DOCTYPE MediaTypes [" + dtd + "]><MediaTypes><Type Suffix=\".xhtml\" Type=\"application/xhtml+xml" +
                reference + "\"/><Type Suffix=\".css\" Type=\"" + reference + "\"/></MediaTypes>";
     },
     true, "Resources/MediaTypes.xml"},
    {"TableOfContents", "ncx",
     [](const std::string& dtd, const std::string& reference) {
         return "<!DOCTYPE ncx [" + dtd + "]><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">"
                "<head/><docTitle><text>" + reference + "</text></docTitle><navMap><navPoint id=\"n\" playOrder=\"1\">"
                "<navLabel><text>" + reference + "</text></navLabel><content src=\"Flow_0.xhtml\"/></navPoint></navMap></ncx>";
     },
     false, "OEBPS/toc.ncx"},
    {"Page", "html",
     [](const std::string& dtd, const std::string& reference) {
         return "<!DOCTYPE html [" + dtd + "]><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + reference +
                "</title></head><body><div><p>" + reference + "</p><p><audio id=\"box7\" controls=\"controls\" title=\"" +
                reference + "\"></audio></p></div></body></html>";
     },
     false, "OEBPS/Flow_1.xhtml"},
};

struct Attack {
    const char* name;
    std::string (*dtd)(const fs::path& secret);
    const char* reference;
};

// A thousand million "lol"s if expanded.
std::string entityBomb(const fs::path&) {
    std::string dtd = "<!ENTITY lol0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        dtd += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) dtd += "&lol" + std::to_string(level - 1) + ";";
        dtd += "\">";
    }
    return dtd;
}

// A general entity naming the file, and a parameter entity naming a DTD
// beside it that would declare one more.
std::string localFile(const fs::path& secret) {
    writeText(secret.parent_path() / "secret.dtd", "<!ENTITY leak \"" + std::string(kSecret) + "\">");
    return "<!ENTITY file SYSTEM \"file://" + secret.string() + "\"><!ENTITY % dtd SYSTEM \"file://" +
           (secret.parent_path() / "secret.dtd").string() + "\">%dtd;";
}

const Attack kAttacks[] = {
    {"EntityBomb", entityBomb, "&lol9;"},
    {"LocalFile", localFile, "&file;&leak;"},
};

void PrintTo(const XmlInput& input, std::ostream* out) { *out << input.name; }
void PrintTo(const Attack& attack, std::ostream* out) { *out << attack.name; }

class XmlEntitiesTest : public HostileExportTest,
                        public ::testing::WithParamInterface<std::tuple<XmlInput, Attack>> {};

TEST_P(XmlEntitiesTest, NothingIsExpandedOrLoadedIntoTheBook) {
    const auto& [input, attack] = GetParam();
    fs::path bundle = bundleDir();
    if (input.inBundle) {
        bundle = scratch / "bundle";
        fs::create_directories(bundle);
        fs::copy(bundleDir() / "Resources", bundle / "Resources", fs::copy_options::recursive);
    }
    std::string text = input.write(attack.dtd(secretFile), attack.reference);
    for (std::size_t at; (at = text.find("@EXPORT@")) != std::string::npos;) text.replace(at, 8, source.string());
    writeText((input.inBundle ? bundle : source) / input.path, text);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(packageBook(bundle), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));

    const std::string contents = bookContents();
    ASSERT_FALSE(contents.empty()) << "the book is missing or unreadable";
    EXPECT_EQ(contents.find(kSecret), std::string::npos);
    EXPECT_EQ(contents.find("lollollol"), std::string::npos);
    EXPECT_LT(contents.size(), 1u << 20);
}

INSTANTIATE_TEST_SUITE_P(EveryInput, XmlEntitiesTest, ::testing::Combine(::testing::ValuesIn(kInputs), ::testing::ValuesIn(kAttacks)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace packager::testing
