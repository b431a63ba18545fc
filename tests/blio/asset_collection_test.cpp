// Asset collection on small exports written by each test: what lands in the
// enhanced-content folder, the viewer pages made from the templates, and what
// is removed at the end.
#include <regex>

#include "blio_fixture.h"

namespace packager::testing {
namespace {

std::string keyOf(const std::string& uri) { return fs::path(uri).stem().string(); }

class AssetCollectionTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = scratch / "export";
        for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"clip.mp4", "video"}, {"poster.jpg", "poster"}, {"slides/b.jpg", "second"}, {"slides/a.png", "first"},
                 {"slides/notes.txt", "text"}, {"single.gif", "one"}, {"widget/index.html", "<p/>"},
                 {"widget/style.css", "p {}"}, {"loose/my page#1.htm", "<p/>"}})
            writeText(source / name, text);
    }
    void TearDown() override {
        list.reset();  // removes the workspace
        ScratchTest::TearDown();
    }

    // Collects the assets; `blocked`, when given, is a folder of the
    // enhanced content replaced by a file first, so that nothing can be
    // written below it.
    bool collect(const std::vector<std::string>& assets, const std::string& blocked = "") {
        writeAssetList(source / "AssetList.xml", assets);
        list.emplace(preparedAssetList(source, scratch));
        list->readXml(source / "AssetList.xml");
        content = list->enhancedContentDir();
        if (!blocked.empty()) {
            fs::remove_all(content / blocked);
            writeText(content / blocked, "in the way");
        }
        return list->collectAssets();
    }
    std::string in(const std::string& name) const { return (source / name).string(); }
    std::vector<std::string> overlays() const {
        return attributeValues(list->blioTempDir() / "OverlayContent.xml", "EnhancedOverlayinfoList",
                               "EnhancedOverlayinfo", "NavigateUri");
    }
    std::vector<std::string> videos(const std::string& attribute) const {
        return attributeValues(list->blioTempDir() / "VideoContent.xml", "VideoinfosList", "Videoinfo", attribute);
    }

    fs::path source;
    fs::path content;
    std::optional<AssetList> list;
};

TEST_F(AssetCollectionTest, EachKindGetsItsFilesPageAndDescription) {
    EXPECT_TRUE(collect({assetXml("Video", {in("clip.mp4")}, "PreviewImage=\"" + in("poster.jpg") + "\""),
             assetXml("SlideShow", {in("slides")}), assetXml("url", {"https://example.org/?a=1&amp;b=\"2\""}),
             assetXml("Embedded HTML", {in("widget/index.html")}, "ExportParentFolder=\"TRUE\""),
             assetXml("embedded html", {in("loose/my page#1.htm")})}));

    // The video under its key with its own extension, the poster under its own name.
    const std::string video = videos("NavigateUri").at(0);
    const std::string key = keyOf(video);
    EXPECT_TRUE(std::regex_match(video, std::regex("VideoAssets/([0-9a-f]{12})/\\1\\.mp4"))) << video;
    EXPECT_EQ(readText(content / video), "video");
    EXPECT_EQ(videos("CoverImageUri"), (std::vector<std::string>{"VideoAssets/" + key + "/poster.jpg"}));
    EXPECT_EQ(readText(content / "VideoAssets" / key / "poster.jpg"), "poster");

    const std::vector<std::string> pages = overlays();
    ASSERT_EQ(pages.size(), 4u);
    // The slideshow's two images under fresh names, each in one fragment; no text file.
    const std::string slides = readText(content / pages[0]);
    const std::regex fragment("<a href=\"#\"><img src=\"" + keyOf(pages[0]) + "/[0-9a-f]{12}\\.(png|jpg)\" title=\"\" /></a>");
    EXPECT_EQ(std::distance(std::sregex_iterator(slides.begin(), slides.end(), fragment), std::sregex_iterator()), 2);
    std::vector<std::string> copied;
    for (const auto& entry : fs::directory_iterator(content / "OverlayAssets/Slideshow" / keyOf(pages[0])))
        copied.push_back(readText(entry.path()));
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"first", "second"}));
    // The address cannot end the viewer's attribute early.
    EXPECT_NE(readText(content / pages[1]).find("src=\"https://example.org/?a=1&amp;b=&quot;2&quot;\""), std::string::npos);
    // The whole folder of the page; or only the page, its name made safe as an address.
    EXPECT_EQ(readText(content / "OverlayAssets/Html" / keyOf(pages[2]) / "style.css"), "p {}");
    EXPECT_NE(readText(content / pages[2]).find("src=\"" + keyOf(pages[2]) + "/index.html\""), std::string::npos);
    EXPECT_TRUE(fs::exists(content / "OverlayAssets/Html" / keyOf(pages[3]) / "my page#1.htm"));
    EXPECT_NE(readText(content / pages[3]).find("src=\"" + keyOf(pages[3]) + "/my%20page%231.htm\""), std::string::npos);

    for (const char* gone : {"OverlayAssets/Slideshow/SlideViewer.html", "OverlayAssets/Html/HtmlViewer.html", "OverlayAssets/ePub"})
        EXPECT_FALSE(fs::exists(content / gone)) << gone;
}

TEST_F(AssetCollectionTest, AssetsSharingAFileShareItsCopyAndPage) {
    EXPECT_TRUE(collect({assetXml("video", {in("clip.mp4")}), assetXml("video", {in("clip.mp4")}),
             assetXml("url", {"https://example.org/"}), assetXml("url", {"https://example.org/"}),
             assetXml("url", {"https://example.com/"})}));

    EXPECT_EQ(videos("NavigateUri")[0], videos("NavigateUri")[1]);
    EXPECT_EQ(videos("CoverImageUri"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(content / "VideoAssets"), {}), 2);  // one folder, one file
    const std::vector<std::string> pages = overlays();
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0], pages[1]);
    EXPECT_NE(pages[1], pages[2]);
    // Only web pages were made: no slideshow folder, no viewer template.
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Slideshow"));
    EXPECT_FALSE(fs::exists(content / "OverlayAssets/Html/HtmlViewer.html"));
}

TEST_F(AssetCollectionTest, SlideshowOfOneFileFillsItsOwnPage) {
    EXPECT_TRUE(collect({assetXml("slideshow", {in("single.gif")}), assetXml("slideshow", {in("slides/notes.txt")}),
             assetXml("slideshow", {in("slides")})}));

    const std::vector<std::string> pages = overlays();
    ASSERT_EQ(pages.size(), 3u);
    const std::string key = keyOf(pages[0]);
    EXPECT_NE(readText(content / pages[0]).find("<img src=\"" + key + "/" + key + ".gif\""), std::string::npos);
    EXPECT_EQ(readText(content / "OverlayAssets/Slideshow" / key / (key + ".gif")), "one");
    // Not an image: an empty slideshow, its placeholder gone.
    EXPECT_EQ(readText(content / pages[1]).find("<img"), std::string::npos);
    EXPECT_EQ(readText(content / pages[1]).find("#IMAGENAMES#"), std::string::npos);
    EXPECT_EQ(readText(content / pages[2]).find(key), std::string::npos);  // each page lists only its own images
}

TEST_F(AssetCollectionTest, NothingDescribedLeavesNoEnhancedContent) {
    writeText(source / "empty-slides" / "readme.txt", "no images here");
    EXPECT_TRUE(collect({assetXml("slideshow", {in("empty-slides")}), assetXml("embedded html", {in("widget/style.css")}),
             assetXml("audio", {in("single.gif")}), assetXml("video", {in("slides")}), assetXml("video", {})}));

    EXPECT_FALSE(fs::exists(content));
    EXPECT_FALSE(fs::exists(list->blioTempDir() / "OverlayContent.xml"));
    EXPECT_FALSE(fs::exists(list->blioTempDir() / "VideoContent.xml"));
}

// A file the workspace cannot take fails the collection, and with it the run;
// a source that cannot be read only leaves its asset out (above).
TEST_F(AssetCollectionTest, AWorkspaceThatCannotTakeAFileFailsTheCollection) {
    const std::pair<std::string, std::string> rows[] = {
        {assetXml("video", {in("clip.mp4")}), "VideoAssets"},
        {assetXml("slideshow", {in("slides")}), "OverlayAssets/Slideshow"},
        {assetXml("url", {"https://example.org/"}), "OverlayAssets/Html"},
        {assetXml("embedded html", {in("widget/index.html")}), "OverlayAssets/Html"},
    };
    for (const auto& [asset, blocked] : rows) {
        EXPECT_FALSE(collect({asset}, blocked)) << asset;
        list.reset();
    }
}

}  // namespace
}  // namespace packager::testing
