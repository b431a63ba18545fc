// The steps that fill the workspace from the export: resources, cover and
// table of contents.
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
    packager.createBookCover();
    EXPECT_EQ(filesBelow(packager.oebpsDir()),
              (std::vector<std::string>{"Flow_1.xhtml", "Flow_2.xhtml", "book.css", "cover.xhtml", "images/cover.jpg",
                                        "images/cover.png", "images/maps/north.png"}));
    EXPECT_EQ(readText(packager.oebpsDir() / "images" / "maps" / "north.png"), "png bytes");
    EXPECT_EQ(readText(packager.oebpsDir() / "cover.xhtml"),
              readText(bundleDir() / "Resources" / "Templates" / "ePub" / "cover.xhtml"));
    packager.deleteComponents();
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
        packager.deleteComponents();
    }

    writeText(oebps / "toc.ncx", "<ncx>the host's own</ncx>");
    writeText(oebps / "nav.xhtml", "<html>the host's nav</html>");
    EpubPackager packager = packagerFor(scratch / "export");
    packager.createTableOfContents(3);
    EXPECT_EQ(readText(packager.oebpsDir() / "toc.ncx"), "<ncx>the host's own</ncx>");
    EXPECT_EQ(readText(packager.oebpsDir() / "nav.xhtml"), "<html>the host's nav</html>");
    packager.deleteComponents();
}

}  // namespace
}  // namespace packager::testing
