// The steps that fill the workspace from the export: resources, cover and
// table of contents.
#include <functional>

#include "epub/epub_packager.h"
#include "epub_fixture.h"

namespace packager::testing {
namespace {

class BuildStepsTest : public ScratchTest {
protected:
    EpubPackager packagerFor(const fs::path& source) {
        EpubPackager packager = EpubPackager::initWithSource(source.string(), (scratch / "out").string());
        EXPECT_EQ(packager.initializeComponents(bundleDir()), 0u);
        packager.createEPubStructure();
        return packager;
    }

    static std::vector<std::string> filesBelow(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), folder).generic_string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(BuildStepsTest, CopiesReflowPagesStyleSheetsAndImagesOnly) {
    const fs::path oebps = scratch / "export" / "OEBPS";
    for (const char* name : {"Flow_1.xhtml", "Flow_2.xhtml", "page.xhtml"}) writeText(oebps / name, page("<p>x</p>"));
    writeText(oebps / "book.css", "p {}");
    writeText(oebps / "Flow_notes.txt", "notes");
    writeText(oebps / "Metadata.xml", "<Metadata/>");
    writeText(oebps / "images" / "maps" / "north.png", "png bytes");
    writeText(oebps / "images" / "cover.png", "png cover");
    writeText(oebps / "images" / "cover.jpg", "jpeg cover");

    EpubPackager packager = packagerFor(scratch / "export");
    packager.copyResources(epubOptions());
    packager.createBookCover(epubOptions());
    EXPECT_EQ(filesBelow(packager.oebpsDir()),
              (std::vector<std::string>{"Flow_1.xhtml", "Flow_2.xhtml", "book.css", "cover.xhtml", "images/cover.jpg",
                                        "images/cover.png", "images/maps/north.png"}));
    EXPECT_EQ(readText(packager.oebpsDir() / "images" / "maps" / "north.png"), "png bytes");
    EXPECT_EQ(readText(packager.oebpsDir() / "cover.xhtml"),
              readText(bundleDir() / "Resources" / "Templates" / "ePub" / "cover.xhtml"));
    EXPECT_EQ(readText(oebps / "images" / "cover.jpg"), "jpeg cover");  // the export outlives the workspace
}

TEST_F(BuildStepsTest, NavigationIsTheExportsOrOneEntryToTheCover) {
    const fs::path oebps = scratch / "export" / "OEBPS";
    writeText(oebps / "Flow_0.xhtml", page("<p>x</p>"));
    for (std::uint32_t version : {2u, 3u}) {
        EpubPackager packager = packagerFor(scratch / "export");
        packager.createTableOfContents(version);
        auto ncx = xml::Document::parseFile(packager.oebpsDir() / "toc.ncx");
        ASSERT_TRUE(ncx);
        EXPECT_EQ(ncx->root().firstChild("head").children("meta").front().attribute("content"),
                  "urn:uuid:0cc33cbd-94e2-49c1-909a-72ae16bc2658");
        auto points = ncx->root().firstChild("navMap").children("navPoint");
        ASSERT_EQ(points.size(), 1u);
        EXPECT_EQ(points[0].firstChild("navLabel").firstChild("text").text(), "Book Cover");
        EXPECT_EQ(points[0].firstChild("content").attribute("src"), "cover.xhtml");
        // EPUB 3 requires a navigation document; EPUB 2 has none.
        EXPECT_EQ(fs::exists(packager.oebpsDir() / "nav.xhtml"), version == 3) << version;
    }

    writeText(oebps / "toc.ncx", "<ncx>the host's own</ncx>");
    writeText(oebps / "nav.xhtml", "<html>the host's nav</html>");
    EpubPackager packager = packagerFor(scratch / "export");
    packager.createTableOfContents(3);
    EXPECT_EQ(readText(packager.oebpsDir() / "toc.ncx"), "<ncx>the host's own</ncx>");
    EXPECT_EQ(readText(packager.oebpsDir() / "nav.xhtml"), "<html>the host's nav</html>");
}

// Reading systems prefer the navigation document to the NCX, so one made for
// an export that has only an NCX must carry the NCX's whole table.
TEST_F(BuildStepsTest, NavigationDocumentFollowsTheExportedNcx) {
    const fs::path oebps = scratch / "export" / "OEBPS";
    writeText(oebps / "Flow_0.xhtml", page("<p>x</p>"));
    writeText(oebps / "Metadata.xml", "<Metadata><Language Text=\"fr\"/></Metadata>");
    auto point = [](const std::string& label, const std::string& src, const std::string& inner = "") {
        return "<navPoint><navLabel><text>" + label + "</text></navLabel><content src=\"" + src + "\"/>" + inner +
               "</navPoint>";
    };
    writeText(oebps / "toc.ncx", "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\"><navMap>" +
                                     point("Un &amp; deux", "Flow_0.xhtml", point("Deux", "Flow_0.xhtml#d")) +
                                     point("Trois", "Flow_0.xhtml#t") + "</navMap></ncx>");
    EpubPackager packager = packagerFor(scratch / "export");
    packager.createTableOfContents(3);
    auto nav = xml::Document::parseFile(packager.oebpsDir() / "nav.xhtml");
    ASSERT_TRUE(nav);
    EXPECT_EQ(nav->root().attribute("xml:lang"), "fr");
    const xml::Element toc = nav->root().firstChild("body").firstChild("nav");
    EXPECT_EQ(toc.attribute("role"), "doc-toc");
    std::vector<std::string> entries;
    std::function<void(const xml::Element&, const std::string&)> collect = [&](const xml::Element& list,
                                                                                const std::string& depth) {
        for (const xml::Element& item : list.children("li")) {
            const xml::Element link = item.firstChild("a");
            entries.push_back(depth + link.text() + " " + link.attribute("href").value_or(""));
            collect(item.firstChild("ol"), depth + "  ");
        }
    };
    collect(toc.firstChild("ol"), "");
    EXPECT_EQ(entries, (std::vector<std::string>{"Un & deux Flow_0.xhtml", "  Deux Flow_0.xhtml#d", "Trois Flow_0.xhtml#t"}));
}

}  // namespace
}  // namespace packager::testing
