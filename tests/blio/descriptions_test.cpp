// The two description files: box scaling, page numbers, numbering per file,
// attribute order, and files that are already there.
#include "blio_fixture.h"

namespace packager::testing {
namespace {

Asset boxAsset(const std::string& page, const std::string& x, const std::string& y = "36",
               const std::string& width = "144", const std::string& height = "108") {
    Asset asset;
    asset.pageIndex = page;
    asset.x = x;
    asset.y = y;
    asset.width = width;
    asset.height = height;
    return asset;
}

class DescriptionsTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        list.emplace(preparedAssetList(scratch, scratch));
        overlays = list->blioTempDir() / "OverlayContent.xml";
        videos = list->blioTempDir() / "VideoContent.xml";
    }
    void TearDown() override {
        list.reset();  // removes the workspace
        ScratchTest::TearDown();
    }

    std::vector<std::string> overlay(const std::string& name) {
        return attributeValues(overlays, "EnhancedOverlayinfoList", "EnhancedOverlayinfo", name);
    }

    std::optional<AssetList> list;
    fs::path overlays;
    fs::path videos;
};

TEST_F(DescriptionsTest, BoxesAreScaledToPixelsWithHalvesAwayFromZero) {
    list->mapAssetToBlio(boxAsset("2", "72"), "a.html");
    list->mapAssetToBlio(boxAsset("1", "10"), "b.html");
    list->mapAssetToBlio(boxAsset("0", "1.125"), "c.html");
    list->mapAssetToBlio(boxAsset("-3", "-3.375"), "d.html");
    list->mapAssetToBlio(boxAsset("", "", "", "x", "-0.1"), "e.html");
    ASSERT_TRUE(list->saveDescriptions());

    EXPECT_EQ(overlay("PageNo"), (std::vector<std::string>{"1", "0", "0", "0", "0"}));
    EXPECT_EQ(overlay("DisplayRegionLeft"), (std::vector<std::string>{"96", "13", "2", "-5", "0"}));
    EXPECT_EQ(overlay("DisplayRegionTop"), (std::vector<std::string>{"48", "48", "48", "48", "0"}));
    EXPECT_EQ(overlay("DisplayRegionWidth"), (std::vector<std::string>{"192", "192", "192", "192", "0"}));
    // -0.13 rounds to zero, written without a sign.
    EXPECT_EQ(overlay("DisplayRegionHeight"), (std::vector<std::string>{"144", "144", "144", "144", "0"}));
    EXPECT_EQ(overlay("EnhancedOverlayinfoID"), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
}

TEST_F(DescriptionsTest, EachFileIsNumberedOnItsOwnWithAttributesInOrder) {
    list->mapVideoToBlio(boxAsset("3", "72"), "VideoAssets/k/k.mp4", "");
    list->mapAssetToBlio(boxAsset("3", "72"), "OverlayAssets/Html/k.html");
    list->mapVideoToBlio(boxAsset("3", "72"), "VideoAssets/k/k.mp4", "VideoAssets/k/poster.jpg");
    ASSERT_TRUE(list->saveDescriptions());

    EXPECT_EQ(readText(videos),
              "<?xml version=\"1.0\"?>\n"
              "<Videoinfos>\n"
              "  <VideoinfosList>\n"
              "    <Videoinfo Page=\"2\" DisplayRegionLeft=\"96\" DisplayRegionTop=\"48\" DisplayRegionWidth=\"192\" "
              "DisplayRegionHeight=\"144\" NavigateUri=\"VideoAssets/k/k.mp4\" VideoinfoID=\"0\" CoverImageUri=\"\"/>\n"
              "    <Videoinfo Page=\"2\" DisplayRegionLeft=\"96\" DisplayRegionTop=\"48\" DisplayRegionWidth=\"192\" "
              "DisplayRegionHeight=\"144\" NavigateUri=\"VideoAssets/k/k.mp4\" VideoinfoID=\"1\" "
              "CoverImageUri=\"VideoAssets/k/poster.jpg\"/>\n"
              "  </VideoinfosList>\n"
              "</Videoinfos>\n");
    EXPECT_EQ(readText(overlays),
              "<?xml version=\"1.0\"?>\n"
              "<EnhancedOverlayinfos>\n"
              "  <EnhancedOverlayinfoList>\n"
              "    <EnhancedOverlayinfo PageNo=\"2\" DisplayRegionLeft=\"96\" DisplayRegionTop=\"48\" "
              "DisplayRegionWidth=\"192\" DisplayRegionHeight=\"144\" ContentScaleX=\"1\" ContentScaleY=\"1\" "
              "ContentOffsetX=\"0.0\" ContentOffsetY=\"0.0\" NavigateUri=\"OverlayAssets/Html/k.html\" "
              "ControlType=\"WebBrowser\" EnhancedOverlayinfoID=\"0\" VisualState=\"Visible\"/>\n"
              "  </EnhancedOverlayinfoList>\n"
              "</EnhancedOverlayinfos>\n");
}

TEST_F(DescriptionsTest, ExistingFileIsExtendedOrLeftAloneWhenUnusable) {
    writeText(overlays, "<EnhancedOverlayinfos><Other/><EnhancedOverlayinfoList><EnhancedOverlayinfo/>"
                        "</EnhancedOverlayinfoList></EnhancedOverlayinfos>");
    list->mapAssetToBlio(boxAsset("1", "1"), "x.html");
    list->mapAssetToBlio(boxAsset("1", "1"), "y.html");
    ASSERT_TRUE(list->saveDescriptions());
    EXPECT_EQ(overlay("EnhancedOverlayinfoID"), (std::vector<std::string>{"<absent>", "1", "2"}));
    const std::string unusable = "<Videoinfos><Elsewhere/></Videoinfos>";
    writeText(videos, unusable);
    list->mapVideoToBlio(boxAsset("1", "1"), "v.mp4", "");
    EXPECT_TRUE(list->saveDescriptions());
    EXPECT_EQ(readText(videos), unusable);
}

}  // namespace
}  // namespace packager::testing
