// Media elements found by box ID, pointed at files copied into the book, and
// pages left as exported when nothing in them changes.
#include "epub/epub_packager.h"
#include "epub/html_parser.h"
#include "epub_fixture.h"

namespace packager::testing {
namespace {

class InteractiveMediaTest : public ScratchTest {
protected:
    // An ASCII page as UTF-16LE with a byte-order mark, declared so.
    static std::string utf16(std::string text) {
        text.replace(text.find("UTF-8"), 5, "UTF-16");
        std::string encoded = "\xFF\xFE";
        for (char c : text) encoded += std::string{c, '\0'};
        return encoded;
    }

    std::optional<HTMLParser> parse(const std::string& bodyContent) {
        writeText(scratch / "page.xhtml", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head>"
                                          "<body>" + bodyContent + "</body></html>");
        return HTMLParser::initWithFileURL(scratch / "page.xhtml");
    }

    // The elements of one name in a page file, as "id|src", in document order.
    static std::vector<std::string> media(const fs::path& file, const std::string& name) {
        std::vector<std::string> found;
        if (auto document = xml::Document::parseFile(file)) collect(document->root(), name, found);
        return found;
    }
    static void collect(const xml::Element& element, const std::string& name, std::vector<std::string>& found) {
        if (element.name() == name)
            found.push_back(element.attribute("id").value_or("") + "|" + element.attribute("src").value_or(""));
        for (const xml::Element& child : element.children()) collect(child, name, found);
    }
};

TEST_F(InteractiveMediaTest, FindsMediaInParagraphsOfFirstDivOrBody) {
    auto parser = parse("<div><p><video id=\"box12\" src=\"a.mp4\"/><span><video id=\"nested\"/></span></p>"
                        "<p><audio id=\"box27\"/><video id=\"box5\"/><video id=\"box5\"/></p></div>"
                        "<div><p><video id=\"second-div\"/></p></div>");
    ASSERT_TRUE(parser);
    EXPECT_EQ(parser->allVideoBoxIDs(), (std::vector<std::string>{"box12", "box5", "box5"}));
    EXPECT_EQ(parser->allAudioBoxIDs(), std::vector<std::string>{"box27"});
    EXPECT_TRUE(parser->updateVideoTagAttributes({{"source", "movie.mp4"}}, "box12"));
    EXPECT_FALSE(parser->updateSourcePath("x.mp3", "box12", BoxType::audio));  // wrong kind, and id gone
    EXPECT_TRUE(parser->updateVideoTagAttributes({{"source", "one.mp4"}}, "box5"));
    EXPECT_TRUE(parser->updateVideoTagAttributes({{"source", "two.mp4"}}, "box5"));  // the next element
    EXPECT_FALSE(parser->updateVideoTagAttributes({{"source", "three.mp4"}}, "box5"));
    ASSERT_TRUE(parser->saveHTMLAtFileURL(scratch / "page.xhtml"));
    EXPECT_EQ(media(scratch / "page.xhtml", "video"),
              (std::vector<std::string>{"|movie.mp4", "nested|", "|one.mp4", "|two.mp4", "second-div|"}));

    auto direct = parse("<p><audio id=\"box1\" src=\"old.mp3\"/></p>");
    ASSERT_TRUE(direct);
    EXPECT_TRUE(direct->updateSourcePath("new.mp3", "box1", BoxType::audio));
    EXPECT_TRUE(parse("<div><span/></div><p><video id=\"box1\"/></p>")->allVideoBoxIDs().empty());
    EXPECT_FALSE(parse("<p><video id=\"box1\"></p>"));  // not well-formed
}

TEST_F(InteractiveMediaTest, PagesPointIntoTheBookAndUntouchedPagesStayAsExported) {
    const fs::path source = scratch / "export";
    writeText(scratch / "media" / "movie.MP4", "movie bytes");
    writeText(scratch / "media" / "other.mp4", "other bytes");
    writeText(scratch / "media" / "sound.mp3", "sound bytes");
    const std::string broken = page("<p><video id=\"box1\"></p>");
    const std::string plain = page("<p>Nothing to play &#160;here.</p>");
    const std::string unlisted = page("<p><audio id=\"box9\" src=\"keep.mp3\"/></p>");
    const std::string exported =
        page("<p><video id=\"box1\" src=\"x\"/><video id=\"box2\"/><audio id=\"box3\"/><video id=\"web\"/></p>");
    writeText(source / "OEBPS" / "Flow_0.xhtml", exported);
    writeText(source / "OEBPS" / "Flow_1.xhtml", broken);
    writeText(source / "OEBPS" / "Flow_2.xhtml", plain);
    writeText(source / "OEBPS" / "Flow_3.xhtml", unlisted);
    writeText(source / "OEBPS" / "Flow_4.xhtml", utf16(page("<p><audio id=\"box3\"/></p>")));
    const std::string emptyID = page("<p><video id=\"\"/></p>");
    writeText(source / "OEBPS" / "Flow_5.xhtml", emptyID);
    // box1 and box2 share a file; box1 is listed twice and its first entry wins.
    const std::string media = (scratch / "media").string();
    writeText(source / "AssetList.xml",
              "<AssetList><Asset ID=\"box1\"><Path>" + media + "/movie.MP4</Path></Asset>"
              "<Asset ID=\"box1\"><Path>" + media + "/other.mp4</Path></Asset>"
              "<Asset ID=\"box2\"><Path>" + media + "/movie.MP4</Path></Asset>"
              "<Asset ID=\"box3\"><Path>" + media + "/sound.mp3</Path></Asset>"
              "<Asset Type=\"URL\" ID=\"web\"><Path>https://example.org/clip.mp4</Path></Asset>"
              "<Asset><Path>" + media + "/other.mp4</Path></Asset></AssetList>");

    EpubPackager packager = EpubPackager::initWithSource(source.string(), (scratch / "out").string());
    ASSERT_EQ(packager.initializeComponents(bundleDir()), 0u);
    packager.createEPubStructure();
    packager.copyResources(epubOptions());
    const fs::path oebps = packager.oebpsDir();

    const std::vector<std::string> videos = InteractiveMediaTest::media(oebps / "Flow_0.xhtml", "video");
    ASSERT_EQ(videos.size(), 3u);
    const std::string movie = videos[0].substr(1);
    EXPECT_TRUE(movie.starts_with("media/") && movie.ends_with(".MP4")) << movie;
    EXPECT_EQ(videos[1], "|" + movie);  // copied once for both boxes
    EXPECT_EQ(videos[2], "|https://example.org/clip.mp4");
    EXPECT_EQ(readText(oebps / movie), "movie bytes");
    EXPECT_EQ(InteractiveMediaTest::media(oebps / "Flow_0.xhtml", "audio")[0].substr(0, 7), "|media/");
    EXPECT_EQ(std::distance(fs::directory_iterator(oebps / "media"), fs::directory_iterator()), 2);

    EXPECT_EQ(readText(source / "OEBPS" / "Flow_0.xhtml"), exported);  // the copy was rewritten, not the export
    EXPECT_EQ(readText(oebps / "Flow_1.xhtml"), broken);
    EXPECT_EQ(readText(oebps / "Flow_2.xhtml"), plain);
    EXPECT_EQ(readText(oebps / "Flow_3.xhtml"), unlisted);
    EXPECT_EQ(InteractiveMediaTest::media(oebps / "Flow_4.xhtml", "audio")[0].substr(0, 7), "|media/");  // UTF-16
    EXPECT_EQ(readText(oebps / "Flow_5.xhtml"), emptyID);  // an asset without an ID names no box
}

}  // namespace
}  // namespace packager::testing
