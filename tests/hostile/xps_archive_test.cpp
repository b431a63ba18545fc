// A Blio export whose XPS holds a zip bomb among the parts the run unpacks,
// and parts named to land outside the staging folder: the run delivers the
// package without inflating the bomb or writing anywhere it should not.
#include <chrono>

#include "../xps/xps_fixture.h"
#include "hostile_export.h"

namespace packager::testing {
namespace {

class XpsArchiveTest : public HostileExportTest {};

TEST_F(XpsArchiveTest, BombAndEscapingEntriesAreSkippedEndToEnd) {
    const fs::path blio = copyBlioExample();
    const fs::path xps = blio / "blio-book.xps";
    const std::string absolute = (scratch / "abs.tif").string();
    // Placeholders as long as the hostile names, swapped in once zipped: the
    // zip tool would not store the hostile names themselves.
    const std::vector<std::pair<std::string, std::string>> hostileNames = {
        {"xx/xx/xx/escape.tif", "../../../escape.tif"},
        {"x" + absolute.substr(1), absolute},
        {"xx_xx_xx_back.tif", "..\\..\\..\\back.tif"},
    };
    Entries entries = readEntries(xps);
    ASSERT_FALSE(entries.empty());
    const std::string tiff = entries.at("Resources/page1.tif");
    // Over 1000 times their deflated size, though far below 1 GiB.
    entries["Resources/bomb.tif"] = std::string(64 << 20, '\0');
    entries["Documents/1/Pages/2.fpage"] = std::string(64 << 20, ' ');
    for (const auto& [placeholder, name] : hostileNames) entries[placeholder] = tiff;
    writeDeflated(xps, entries, scratch);
    std::string bytes = readText(xps);
    ASSERT_LT(bytes.size(), 2u << 20);
    for (const auto& [placeholder, name] : hostileNames) bytes = replaceAll(bytes, placeholder, name);
    writeText(xps, bytes);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(packageBlioBook(blio), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

    const Entries packaged = readEntries(blioPackage);
    EXPECT_TRUE(packaged.contains("Resources/page1.png") || packaged.contains("Resources/page1.jpg"));
    EXPECT_TRUE(packaged.contains("Documents/1/Other/KNFB/Metadata.xml"));
    EXPECT_LT(fs::file_size(blioPackage), 2u << 20);
    for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
        const std::string name = entry.path().filename().string();
        for (const char* escaped : {"escape.tif", "abs.tif", "back.tif"}) EXPECT_FALSE(name.ends_with(escaped)) << entry.path();
    }
    EXPECT_FALSE(fs::exists(tmp / "BlioTemp"));
}

}  // namespace
}  // namespace packager::testing
