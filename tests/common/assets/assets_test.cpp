#include <gtest/gtest.h>

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

class AssetListTest : public ScratchTest {
protected:
    std::vector<Asset> read(const std::string& xml) {
        fs::path file = scratch / "AssetList.xml";
        writeText(file, xml);
        return AssetHelper::assetArrayWithContentsOfFileURL(file);
    }
    std::string existing(const std::string& name) {
        writeText(scratch / name, "data");
        return (scratch / name).string();
    }
};

TEST_F(AssetListTest, ReadsEveryFieldAsWrittenInDocumentOrder) {
    std::string clip = existing("clip.mp4");
    std::string cover = existing("cover.jpg");
    auto assets = read(
        "<AssetList>\n"
        "  <!-- exported by the layout -->\n"
        "  <Asset Type=\"Video\" ExportParentFolder=\"TRUE\" PreviewImage=\"" + cover + "\" PageIndex=\"5\" X=\"12.5\" "
        "Y=\"-3\" Width=\"320\" Height=\"180px\" ID=\"box12\" Other=\"ignored\">\n"
        "    <Path>" + clip + "</Path><Ignored/>\n"
        "  </Asset>\n"
        "  <?layout hint?>\n"
        "  <Anything type=\"url\"/>\n"
        "</AssetList>\n");
    ASSERT_EQ(assets.size(), 2u);
    const Asset& video = assets[0];
    EXPECT_EQ(video.type, "Video");
    EXPECT_EQ(video.exportParentFolder, "TRUE");
    EXPECT_EQ(video.path, std::vector<std::string>{clip});
    EXPECT_EQ(video.previewImage, cover);
    EXPECT_EQ(video.pageIndex, "5");
    EXPECT_EQ(video.x, "12.5");
    EXPECT_EQ(video.y, "-3");
    EXPECT_EQ(video.width, "320");
    EXPECT_EQ(video.height, "180px");
    EXPECT_EQ(video.boxID, "box12");

    // Names are exact: a lower-case "type" is not Type; absent attributes read as empty.
    EXPECT_EQ(assets[1].type, "");
    EXPECT_TRUE(assets[1].path.empty());
}

TEST_F(AssetListTest, KeepsAssetsWhoseFilesAllExistOrThatAreWebLinks) {
    std::string first = existing("a.mp4");
    std::string second = existing("b.mp4");
    fs::create_directories(scratch / "slides");
    std::string missing = (scratch / "missing.mp4").string();
    auto assets = read(
        "<AssetList>"
        "<Asset ID=\"both\" Type=\"video\"><Path>" + first + "</Path><Path>" + second + "</Path></Asset>"
        "<Asset ID=\"second-missing\" Type=\"video\"><Path>" + first + "</Path><Path>" + missing + "</Path></Asset>"
        "<Asset ID=\"first-missing\" Type=\"video\"><Path>" + missing + "</Path><Path>" + first + "</Path></Asset>"
        "<Asset ID=\"folder\" Type=\"slideshow\"><Path>" + (scratch / "slides").string() + "</Path></Asset>"
        "<Asset ID=\"web\" Type=\"URL\"><Path>https://example.org/</Path></Asset>"
        "<Asset ID=\"untyped\"><Path>https://example.org/</Path></Asset>"
        "<Asset ID=\"no-path\" Type=\"slideshow\"/>"
        "</AssetList>");
    std::vector<std::string> kept;
    for (const Asset& asset : assets) kept.push_back(asset.boxID);
    EXPECT_EQ(kept, (std::vector<std::string>{"both", "folder", "web", "no-path"}));
    EXPECT_EQ(assets[0].path, (std::vector<std::string>{first, second}));
}

TEST_F(AssetListTest, UnreadableListsAreEmpty) {
    EXPECT_TRUE(read("<AssetList/>").empty());
    EXPECT_TRUE(read("<AssetList><Asset Type=\"url\"><Path>x</Path></AssetList>").empty());
    EXPECT_TRUE(AssetHelper::assetArrayWithContentsOfFileURL(scratch / "absent.xml").empty());
}

TEST(LeadingNumber, ReadsTheDecimalPrefixLikeAScanner) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"12.5", 12.5}, {"-3.375", -3.375}, {"  +72px", 72}, {".5", 0.5}, {"1e3", 1000}, {"2e", 2},
        {"1.5.2", 1.5}, {"0x1A", 0},        {"abc", 0},      {"-", 0},    {"", 0},      {"1e999", HUGE_VAL},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(leadingNumber(text), value) << text;
}

class MediaTypesTest : public ScratchTest {
protected:
    MediaTypes::Table read(const std::string& xml) {
        fs::path file = scratch / "MediaTypes.xml";
        writeText(file, xml);
        MediaTypes types;
        types.readXml(file);
        return types.mediaTypes();
    }
};

TEST_F(MediaTypesTest, TakesEveryChildWithBothAttributesLastOneWinning) {
    auto table = read(
        "<Types>"
        "<MediaType Suffix=\".jpg\" Type=\"image/jpg\"/>"
        "<!-- corrected below -->"
        "<Entry Suffix=\".css\" Type=\"text/css\"><Nested Suffix=\".deep\" Type=\"x/deep\"/></Entry>"
        "<MediaType Suffix=\".png\"/>"
        "<MediaType Type=\"orphan/type\"/>"
        "<MediaType suffix=\".gif\" type=\"image/gif\"/>"
        "<MediaType Suffix=\".jpg\" Type=\"image/jpeg\"/>"
        "<MediaType Suffix=\"JPG\" Type=\"image/jpeg\"/>"
        "</Types>");
    EXPECT_EQ(table, (MediaTypes::Table{{".css", "text/css"}, {".jpg", "image/jpeg"}, {"JPG", "image/jpeg"}}));
    EXPECT_TRUE(read("<Types><MediaType Suffix=\".jpg\" Type=\"image/jpeg\">").empty());
}

TEST(ShippedMediaTypes, CoverWhatAnEpubHolds) {
    MediaTypes types;
    types.readXml(packager::testing::sourceDir() / "Resources" / "MediaTypes.xml");
    const MediaTypes::Table& table = types.mediaTypes();
    const MediaTypes::Table expected = {
        {".xhtml", "application/xhtml+xml"}, {".css", "text/css"},   {".ncx", "application/x-dtbncx+xml"},
        {".jpg", "image/jpeg"},              {".png", "image/png"},  {".svg", "image/svg+xml"},
        {".otf", "font/otf"},                {".mp3", "audio/mpeg"}, {".mp4", "video/mp4"},
    };
    for (const auto& [suffix, type] : expected) {
        auto found = table.find(suffix);
        ASSERT_NE(found, table.end()) << suffix;
        EXPECT_EQ(found->second, type) << suffix;
    }
    // Looked up as "." + the lower-cased extension, so any other spelling is dead.
    for (const auto& [suffix, type] : table) {
        EXPECT_EQ(suffix.front(), '.') << suffix;
        for (char c : suffix) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c))) << suffix;
        EXPECT_NE(type.find('/'), std::string::npos) << suffix;
    }
}

}  // namespace
}  // namespace packager
