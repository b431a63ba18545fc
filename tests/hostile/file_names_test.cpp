// Export files named with spaces, letters beyond ASCII and bytes that are not
// UTF-8: names that can be written in a package keep their name there; a file
// whose name cannot is left out, and the rest of the book is still packaged.
#include "common/file/file_utility.h"
#include "common/text/unicode.h"
#include "hostile_export.h"

namespace packager::testing {
namespace {

const std::string kSpaced = "light house";
const std::string kAccented = "phare \xC3\xA9t\xC3\xA9 \xE7\x81\xAF";  // "phare été 灯"
const std::string kBroken = "phare \xFF\xFE";

class FileNamesTest : public HostileExportTest {
protected:
    // Every entry name valid UTF-8, and the names containing `part`.
    std::vector<std::string> namesWith(const fs::path& package, const std::string& part) {
        std::vector<std::string> found;
        for (const std::string& name : entryNames(package)) {
            EXPECT_TRUE(isValidUtf8(name)) << name;
            if (name.find(part) != std::string::npos) found.push_back(name);
        }
        return found;
    }
};

TEST_F(FileNamesTest, EpubKeepsWritableNamesAndSkipsTheOthers) {
    const std::string png = readText(source / "OEBPS" / "images" / "lighthouse.png");
    for (const std::string& name : {kSpaced, kAccented, kBroken}) {
        writeText(source / "OEBPS" / "images" / (name + ".png"), png);
        writeText(source / "OEBPS" / (name + ".css"), "p { margin: 0 }");
    }
    ASSERT_EQ(packageBook(), 0u);

    EXPECT_EQ(namesWith(book, kSpaced).size(), 2u);
    EXPECT_EQ(namesWith(book, kAccented).size(), 2u);
    EXPECT_TRUE(namesWith(book, "phare \xEF\xBF\xBD").empty());
    const std::string opf = entryText(book, "OEBPS/content.opf");
    EXPECT_NE(opf.find("images/light%20house.png"), std::string::npos) << opf;
    EXPECT_NE(opf.find("phare%20\xC3\xA9t\xC3\xA9%20\xE7\x81\xAF.css"), std::string::npos) << opf;
    EXPECT_EQ(opf.find("phare%20\xEF\xBF\xBD"), std::string::npos) << opf;  // nor listed under a mended name
    EXPECT_NE(entryText(book, "OEBPS/images/lighthouse.png"), "");
}

TEST_F(FileNamesTest, BlioKeepsWritableNamesAndSkipsTheOthers) {
    const fs::path blio = copyBlioExample();
    const std::string flow = readText(blio / "Flow" / "flow_0001.xml");
    const std::string thumbnail = readText(blio / "Thumbnails" / "page-001.png");
    for (const std::string& name : {kSpaced, kAccented, kBroken}) {
        writeText(blio / "Flow" / (name + ".xml"), flow);
        writeText(blio / "Thumbnails" / (name + ".png"), thumbnail);
        writeText(blio / "assets" / "widget" / (name + ".css"), "p { margin: 0 }");
    }
    ASSERT_EQ(packageBlioBook(blio), 0u);

    EXPECT_EQ(namesWith(blioPackage, kSpaced).size(), 3u);
    EXPECT_EQ(namesWith(blioPackage, kAccented).size(), 3u);
    EXPECT_TRUE(namesWith(blioPackage, "phare \xEF\xBF\xBD").empty());
    EXPECT_NE(entryText(blioPackage, "Documents/1/Other/KNFB/Flow/flow_0001.xml"), "");
}

}  // namespace
}  // namespace packager::testing
