// Asset collection on small exports written by each test: what lands in the
// enhanced-content folder, the viewer pages made from the templates, and what
// is removed at the end.
#include <regex>

#include "blio_fixture.h"

namespace packager::testing {
namespace {

class AssetCollectionTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = scratch / "export";
        writeText(source / "media" / "clip.mp4", "video bytes");
        writeText(source / "media" / "poster.jpg", "poster bytes");
        writeText(source / "slides" / "b.jpg", "second");
        writeText(source / "slides" / "a.png", "first");
        writeText(source / "slides" / "notes.txt", "not an image");
        writeText(source / "single.gif", "one image");
        writeText(source / "widget" / "index.html", "<p>widget</p>");
        writeText(source / "widget" / "style.css", "p {}");
        writeText(source / "loose" / "my page#1.htm", "<p>loose</p>");
    }
    void TearDown() override {
        if (list) list->tearDownBlioTempDir();
        ScratchTest::TearDown();
    }

    // Reads the assets and collects them; the enhanced-content folder is `content`.
    void collect(const std::vector<std::string>& assets) {
        writeAssetList(source / "AssetList.xml", assets);
        list.emplace(preparedAssetList(source, scratch));
        list->readXml(source / "AssetList.xml");
        list->collectAssets();
        content = list->enhancedContentDir();
    }

    std::vector<std::string> overlayUris() const {
        return attributeValues(list->blioTempDir() / "OverlayContent.xml", "EnhancedOverlayinfoList",
                               "EnhancedOverlayinfo", "NavigateUri");
    }
    std::vector<std::string> videoAttribute(const std::string& name) const {
        return attributeValues(list->blioTempDir() / "VideoContent.xml", "VideoinfosList", "Videoinfo", name);
    }

    fs::path source;
    fs::path content;
    std::optional<AssetList> list;
};

std::string path(const fs::path& file) { return file.string(); }

TEST_F(AssetCollectionTest, EachKindGetsItsFilesPageAndDescription) {
    collect({assetXml("Video", {path(source / "media/clip.mp4")}, "PreviewImage=\"" + path(source / "media/poster.jpg") + "\""),
             assetXml("SlideShow", {path(source / "slides")}),
             assetXml("url", {"https://example.org/?a=1&amp;b=\"2\""}),
             assetXml("Embedded HTML", {path(source / "widget/index.html")}, "ExportParentFolder=\"TRUE\""),
             assetXml("embedded html", {path(source / "loose/my page#1.htm")})});

    // The video under its key with its own extension, the poster under its own name.
    const std::vector<std::string> videoUri = videoAttribute("NavigateUri");
    ASSERT_EQ(videoUri.size(), 1u);
    const std::smatch video = [&] {
        std::smatch match;
        std::regex_match(videoUri[0], match, std::regex("VideoAssets/([0-9a-f]{12})/([0-9a-f]{12})\\.mp4"));
        return match;
    }();
    ASSERT_FALSE(video.empty()) << videoUri[0];
    EXPECT_EQ(video[1], video[2]);
    EXPECT_EQ(readText(content / videoUri[0]), "video bytes");
    EXPECT_EQ(videoAttribute("CoverImageUri"), (std::vector<std::string>{"VideoAssets/" + video[1].str() + "/poster.jpg"}));
    EXPECT_EQ(readText(content / "VideoAssets" / video[1].str() / "poster.jpg"), "poster bytes");

    const std::vector<std::string> overlays = overlayUris();
    ASSERT_EQ(overlays.size(), 4u);
    for (const std::string& uri : overlays) EXPECT_TRUE(fs::is_regular_file(content / uri)) << uri;

    // The slideshow: its two images under fresh names, in one page, text file left out.
    const std::string slideshowPage = readText(content / overlays[0]);
    const std::string slideKey = fs::path(overlays[0]).stem().string();
    const std::regex fragment("<a href=\"#\"><img src=\"" + slideKey + "/([0-9a-f]{12})\\.(png|jpg)\" title=\"\" /></a>");
    EXPECT_EQ(std::distance(std::sregex_iterator(slideshowPage.begin(), slideshowPage.end(), fragment),
                            std::sregex_iterator()), 2);
    EXPECT_EQ(slideshowPage.find("#IMAGENAMES#"), std::string::npos);
    std::vector<std::string> copied;
    for (const auto& entry : fs::directory_iterator(content / "OverlayAssets/Slideshow" / slideKey))
        copied.push_back(readText(entry.path()));
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"first", "second"}));

    // The address cannot end the viewer's attribute early.
    EXPECT_NE(readText(content / overlays[1]).find("src=\"https://example.org/?a=1&amp;b=&quot;2&quot;\""),
              std::string::npos);

    // The whole folder of the page, and the page named relative to the viewer.
    const std::string widgetKey = fs::path(overlays[2]).stem().string();
    EXPECT_EQ(readText(content / "OverlayAssets/Html" / widgetKey / "style.css"), "p {}");
    EXPECT_NE(readText(content / overlays[2]).find("src=\"" + widgetKey + "/index.html\""), std::string::npos);
    // Only the page itself, its name made safe as an address.
    const std::string looseKey = fs::path(overlays[3]).stem().string();
    EXPECT_TRUE(fs::is_regular_file(content / "OverlayAssets/Html" / looseKey / "my page#1.htm"));
    EXPECT_NE(readText(content / overlays[3]).find("src=\"" + looseKey + "/my%20page%231.htm\""), std::string::npos);

    // Used templates are gone, the folders stay.
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Slideshow/SlideViewer.html"));
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Html/HtmlViewer.html"));
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/ePub"));
}

TEST_F(AssetCollectionTest, AssetsSharingAFileShareItsCopyAndPage) {
    const std::string clip = path(source / "media/clip.mp4");
    collect({assetXml("video", {clip}), assetXml("video", {clip}),
             assetXml("url", {"https://example.org/"}), assetXml("url", {"https://example.org/"}),
             assetXml("url", {"https://example.com/"})});

    EXPECT_EQ(videoAttribute("NavigateUri")[0], videoAttribute("NavigateUri")[1]);
    EXPECT_EQ(videoAttribute("VideoinfoID"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(videoAttribute("CoverImageUri"), (std::vector<std::string>{"", ""}));
    std::size_t videoFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(content / "VideoAssets")) videoFiles += entry.is_regular_file();
    EXPECT_EQ(videoFiles, 1u);

    const std::vector<std::string> overlays = overlayUris();
    ASSERT_EQ(overlays.size(), 3u);
    EXPECT_EQ(overlays[0], overlays[1]);
    EXPECT_NE(overlays[1], overlays[2]);
    // Only web pages were made: no slideshow folder, no viewer template.
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Slideshow"));
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Html/HtmlViewer.html"));
}

TEST_F(AssetCollectionTest, SlideshowOfOneFileFillsItsOwnPage) {
    collect({assetXml("slideshow", {path(source / "single.gif")}),
             assetXml("slideshow", {path(source / "slides/notes.txt")}),
             assetXml("slideshow", {path(source / "slides")})});

    const std::vector<std::string> overlays = overlayUris();
    ASSERT_EQ(overlays.size(), 3u);
    const std::string key = fs::path(overlays[0]).stem().string();
    const std::string single = readText(content / overlays[0]);
    EXPECT_NE(single.find("<a href=\"#\"><img src=\"" + key + "/" + key + ".gif\" title=\"\" /></a>"), std::string::npos);
    EXPECT_EQ(readText(content / "OverlayAssets/Slideshow" / key / (key + ".gif")), "one image");
    // Not an image: the page is there, with an empty slideshow.
    const std::string empty = readText(content / overlays[1]);
    EXPECT_EQ(empty.find("#IMAGENAMES#"), std::string::npos);
    EXPECT_EQ(empty.find("<img"), std::string::npos);
    // Each page lists only its own images.
    EXPECT_EQ(readText(content / overlays[2]).find(key), std::string::npos);
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Html"));
}

TEST_F(AssetCollectionTest, NothingDescribedLeavesNoEnhancedContent) {
    fs::create_directories(source / "empty-slides");
    writeText(source / "empty-slides" / "readme.txt", "no images here");
    collect({assetXml("slideshow", {path(source / "empty-slides")}),
             assetXml("embedded html", {path(source / "widget/style.css")}), assetXml("audio", {path(source / "single.gif")}),
             assetXml("video", {})});

    EXPECT_FALSE(fs::exists(content));
    EXPECT_FALSE(fs::exists(list->blioTempDir() / "OverlayContent.xml"));
    EXPECT_FALSE(fs::exists(list->blioTempDir() / "VideoContent.xml"));
}

}  // namespace
}  // namespace packager::testing
