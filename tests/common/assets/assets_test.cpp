#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "common/assets/asset.h"
#include "common/assets/media_types.h"
#include "scratch.h"

namespace packager {
namespace {

using packager::testing::ScratchTest;
using packager::testing::writeText;
namespace fs = std::filesystem;

class AssetsTest : public ScratchTest {
protected:
    fs::path file(const std::string& name, const std::string& text) {
        writeText(scratch / name, text);
        return scratch / name;
    }
    std::vector<Asset> read(const std::string& xml) { return AssetHelper::assetArrayWithContentsOfFileURL(file("AssetList.xml", xml)); }
};

TEST_F(AssetsTest, KeepsAssetsWhoseFilesAllExistOrThatAreWebLinks) {
    const std::string first = file("a.mp4", "data"), second = file("b.mp4", "data");
    const std::string missing = (scratch / "missing.mp4").string();
    fs::create_directories(scratch / "slides");
    auto assets = read(
        "<AssetList>\n  <!-- exported by the layout -->\n"
        "<Asset ID=\"both\" Type=\"video\" Height=\"180px\"><Path>" + first + "</Path><Ignored/><Path>" + second + "</Path></Asset>"
        "<Asset ID=\"second-missing\" Type=\"video\"><Path>" + first + "</Path><Path>" + missing + "</Path></Asset>"
        "<Asset ID=\"first-missing\" Type=\"video\"><Path>" + missing + "</Path><Path>" + first + "</Path></Asset>"
        "<Asset ID=\"folder\" Type=\"slideshow\"><Path>" + (scratch / "slides").string() + "</Path></Asset>"
        "<Asset ID=\"web\" Type=\"URL\"><Path>https://example.org/</Path></Asset>"
        "<Asset ID=\"untyped\"><Path>https://example.org/</Path></Asset>"
        "<?layout hint?><Anything ID=\"no-path\" type=\"url\"/>"
        "</AssetList>");
    std::vector<std::string> kept;
    for (const Asset& asset : assets) kept.push_back(asset.boxID);
    ASSERT_EQ(kept, (std::vector<std::string>{"both", "folder", "web", "no-path"}));
    EXPECT_EQ(assets[0].path, (std::vector<std::string>{first, second}));
    EXPECT_EQ(assets[0].height, "180px");  // numbers stay text until used
    EXPECT_EQ(assets[3].type, "");         // names are exact: "type" is not Type

    EXPECT_TRUE(read("<AssetList><Asset Type=\"url\"><Path>x</Path></AssetList>").empty());
    EXPECT_TRUE(AssetHelper::assetArrayWithContentsOfFileURL(scratch / "absent.xml").empty());
}

TEST(LeadingNumber, ReadsTheDecimalPrefixLikeAScanner) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"12.5", 12.5}, {"-3.375", -3.375}, {"  +72px", 72}, {".5", 0.5}, {"1e3", 1000}, {"2e", 2},
        {"1.5.2", 1.5}, {"0x1A", 0},        {"abc", 0},      {"-", 0},    {"", 0},      {"1e999", HUGE_VAL},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(leadingNumber(text), value) << text;

    const std::vector<std::pair<std::string, long long>> integers = {
        {"1e3", 1}, {"2.7", 2}, {" -4pt", -4}, {"+12", 12}, {"x1", 0}, {"", 0}, {"99999999999999999999", LLONG_MAX},
    };
    for (const auto& [text, value] : integers) EXPECT_EQ(leadingInteger(text), value) << text;
}

// Each child of the root with both a Suffix and a Type is one entry, whatever
// its name; a later suffix replaces an earlier one.
TEST_F(AssetsTest, MediaTypesTableFromItsFile) {
    MediaTypes types;
    types.readXml(file("MediaTypes.xml", "<Types><MediaType Suffix=\".jpg\" Type=\"image/jpg\"/><!-- corrected below -->"
                                         "<Entry Suffix=\".css\" Type=\"text/css\"><Nested Suffix=\".deep\" Type=\"x/deep\"/></Entry>"
                                         "<MediaType Suffix=\".png\"/><MediaType suffix=\".gif\" type=\"image/gif\"/>"
                                         "<MediaType Suffix=\".jpg\" Type=\"image/jpeg\"/></Types>"));
    EXPECT_EQ(types.mediaTypes(), (MediaTypes::Table{{".css", "text/css"}, {".jpg", "image/jpeg"}}));
    MediaTypes malformed;
    malformed.readXml(file("Bad.xml", "<Types><MediaType Suffix=\".jpg\" Type=\"image/jpeg\">"));
    EXPECT_TRUE(malformed.mediaTypes().empty());
}

TEST(ShippedMediaTypes, CoverWhatAnEpubHolds) {
    MediaTypes types;
    types.readXml(packager::testing::sourceDir() / "Resources" / "MediaTypes.xml");
    const MediaTypes::Table& table = types.mediaTypes();
    for (const auto& [suffix, type] : MediaTypes::Table{{".xhtml", "application/xhtml+xml"}, {".css", "text/css"},
                                                        {".ncx", "application/x-dtbncx+xml"}, {".jpg", "image/jpeg"},
                                                        {".svg", "image/svg+xml"}, {".otf", "font/otf"},
                                                        {".mp3", "audio/mpeg"}, {".mp4", "video/mp4"}})
        EXPECT_EQ(table.contains(suffix) ? table.at(suffix) : "missing", type) << suffix;
    // Looked up as "." + the lower-cased extension, so any other spelling is dead.
    for (const auto& [suffix, type] : table) {
        EXPECT_TRUE(suffix.starts_with('.') && std::none_of(suffix.begin(), suffix.end(), ::isupper)) << suffix;
        EXPECT_NE(type.find('/'), std::string::npos) << suffix;
    }
}

}  // namespace
}  // namespace packager
