// The package document for the layouts a host can ask for.
#include "epub/epub_packager.h"
#include "epub_fixture.h"

namespace packager::testing {
namespace {

class ContentOpfTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        oebps = scratch / "export" / "OEBPS";
        for (int i = 0; i < 4; ++i) writeText(oebps / ("Flow_" + std::to_string(i) + ".xhtml"), page("<p>x</p>"));
    }

    // Runs the steps up to the package document and parses it.
    xml::Document build(const EpubOptions& options) {
        EpubPackager packager = EpubPackager::initWithSource((scratch / "export").string(), scratch.string());
        EXPECT_EQ(packager.initializeComponents(bundleDir()), 0u);
        packager.createEPubStructure();
        packager.copyResources(options);
        packager.createBookCover(options);
        packager.createTableOfContents(options.epubVersion);
        packager.createContentOPF(options);
        blankPage = fs::exists(packager.oebpsDir() / "blankpage.xhtml");
        auto document = xml::Document::parseFile(packager.oebpsDir() / "content.opf");
        return document ? std::move(*document) : xml::Document::create("missing");
    }

    static std::vector<std::string> spine(const xml::Document& opf) {
        std::vector<std::string> items;
        for (const xml::Element& itemref : opf.root().firstChild("spine").children("itemref"))
            items.push_back(itemref.attribute("idref").value_or("") + " " + itemref.attribute("properties").value_or("") +
                            itemref.attribute("linear").value_or(""));
        return items;
    }

    static std::string meta(const xml::Document& opf, const std::string& property) {
        for (const xml::Element& element : opf.root().firstChild("metadata").children("meta"))
            if (element.attribute("property") == property || element.attribute("name") == property)
                return element.attribute("content").value_or(element.text());
        return "(none)";
    }

    static xml::Element item(const xml::Document& opf, const std::string& href) {
        for (const xml::Element& element : opf.root().firstChild("manifest").children("item"))
            if (element.attribute("href") == href) return element;
        return {};
    }

    fs::path oebps;
    bool blankPage = false;
};

TEST_F(ContentOpfTest, Epub2LeavesOutEveryEpub3Addition) {
    const xml::Document opf = build(epubOptions(2, 0, 3));
    EXPECT_EQ(opf.root().attribute("version"), "2.0");
    EXPECT_FALSE(opf.root().attribute("prefix"));
    EXPECT_EQ(opf.root().firstChild("metadata").firstChild("dc:identifier").attribute("opf:scheme"), "ISBN");
    EXPECT_EQ(meta(opf, "rendition:layout"), "(none)");
    EXPECT_FALSE(opf.root().firstChild("spine").attribute("page-progression-direction"));
    for (const xml::Element& element : opf.root().firstChild("manifest").children("item"))
        EXPECT_FALSE(element.attribute("properties")) << *element.attribute("href");
    EXPECT_FALSE(blankPage);
    EXPECT_EQ(spine(opf), (std::vector<std::string>{"cover yes", "Flow_0 ", "Flow_1 ", "Flow_2 ", "Flow_3 "}));
    EXPECT_EQ(opf.root().firstChild("metadata").firstChild("dc:title").text(), "ePub made using Pagewell");
    EXPECT_TRUE(opf.root().firstChild("metadata").children("dc:subject").empty());
}

TEST_F(ContentOpfTest, SpreadsStartingRightOpenWithBlankPage) {
    fs::remove(oebps / "Flow_3.xhtml");
    EpubOptions options = epubOptions(3, 0, 3);
    options.orientation = 2;
    const xml::Document opf = build(options);
    EXPECT_EQ(meta(opf, "rendition:layout"), "reflowable");
    EXPECT_EQ(meta(opf, "rendition:orientation"), "portrait");
    EXPECT_EQ(meta(opf, "rendition:spread"), "auto");
    EXPECT_TRUE(blankPage);
    EXPECT_EQ(spine(opf), (std::vector<std::string>{"cover yes", "nav no", "blankpage ",
                                                    "Flow_0 rendition:spread-both page-spread-right",
                                                    "Flow_1 rendition:spread-both page-spread-left",
                                                    "Flow_2 rendition:spread-both page-spread-right"}));
    EXPECT_EQ(item(opf, "nav.xhtml").attribute("properties"), "nav");
    EXPECT_EQ(item(opf, "Flow_0.xhtml").attribute("properties"), "scripted");
}

TEST_F(ContentOpfTest, FixedLayoutKeepsNavOutOfSpine) {
    EpubOptions options = epubOptions(3, 1, 2);
    options.orientation = 1;
    options.layoutVariant = 2;
    xml::Document opf = build(options);
    EXPECT_EQ(meta(opf, "rendition:layout"), "pre-paginated");
    EXPECT_EQ(meta(opf, "rendition:orientation"), "landscape");
    EXPECT_EQ(meta(opf, "original-resolution"), "600x800");
    EXPECT_EQ(spine(opf), (std::vector<std::string>{"cover yes", "Flow_0 rendition:spread-both page-spread-left",
                                                    "Flow_1 rendition:spread-both page-spread-right",
                                                    "Flow_2 rendition:spread-both page-spread-left",
                                                    "Flow_3 rendition:spread-both page-spread-right"}));
    EXPECT_TRUE(item(opf, "nav.xhtml"));

    options.spreadMode = 1;
    options.orientation = 7;
    opf = build(options);
    EXPECT_EQ(meta(opf, "rendition:spread"), "none");
    EXPECT_EQ(meta(opf, "rendition:orientation"), "auto");
    EXPECT_EQ(spine(opf).back(), "Flow_3 ");
}

TEST_F(ContentOpfTest, ManifestListsWhatTheWorkspaceHolds) {
    writeText(oebps / "Flow_1.xhtml", page("<p><SVG xmlns=\"http://www.w3.org/2000/svg\"/></p>"));
    writeText(oebps / "images" / "cover.jpg", "jpeg");
    writeText(oebps / "images" / "cover.png", "png");
    writeText(oebps / "images" / "Photo Two.JPG", "jpeg");
    writeText(oebps / "images" / "README", "no extension");
    writeText(oebps / "Metadata.xml", "<M><StoryDirection Type=\"VERTICAL\"/><Subject Keyword=\" sea \"/></M>");
    // A page missing from the export is missing from the spine too.
    fs::remove(oebps / "Flow_2.xhtml");
    writeText(oebps / "Flow_10.xhtml", page("<p>x</p>"));
    const xml::Document opf = build(epubOptions(3));
    EXPECT_EQ(spine(opf), (std::vector<std::string>{"cover yes", "nav no", "Flow_0 ", "Flow_1 ", "Flow_3 ", "Flow_10 "}));

    EXPECT_EQ(item(opf, "images/cover.jpg").attribute("id"), "cover-image");
    EXPECT_EQ(item(opf, "images/cover.jpg").attribute("media-type"), "image/jpeg");
    EXPECT_FALSE(item(opf, "images/cover.png"));
    EXPECT_EQ(item(opf, "images/Photo%20Two.JPG").attribute("media-type"), "image/jpeg");
    EXPECT_EQ(item(opf, "images/README").attribute("media-type"), "application/octet-stream");
    EXPECT_EQ(item(opf, "Flow_1.xhtml").attribute("properties"), "svg scripted");
    EXPECT_EQ(item(opf, "Flow_1.xhtml").attribute("id"), "Flow_1");
    EXPECT_EQ(opf.root().firstChild("spine").attribute("page-progression-direction"), "rtl");
    EXPECT_EQ(opf.root().firstChild("metadata").firstChild("dc:subject").text(), "sea");
    EXPECT_EQ(meta(opf, "dcterms:modified").size(), 20u);
}

// Each claim follows from the book's own pages: a row per kind of book.
TEST_F(ContentOpfTest, AccessibilityMetadataStatesOnlyWhatThePagesShow) {
    struct Case {
        std::string pages;
        std::vector<std::string> expected;  // property: value, in document order
    } cases[] = {
        {"<p><img src=\"images/a.png\" alt=\"A map\"/></p>",
         {"accessMode: textual", "accessMode: visual", "accessModeSufficient: textual",
          "accessibilityFeature: readingOrder", "accessibilityFeature: alternativeText", "accessibilityHazard: none"}},
        {"<p><img src=\"images/a.png\" alt=\" \"/></p>",
         {"accessMode: textual", "accessMode: visual", "accessModeSufficient: textual,visual",
          "accessibilityFeature: readingOrder", "accessibilityHazard: none"}},
        {"<p><video src=\"v.mp4\"/></p>",
         {"accessMode: textual", "accessMode: visual", "accessMode: auditory",
          "accessModeSufficient: textual,visual,auditory", "accessibilityFeature: readingOrder",
          "accessibilityFeature: alternativeText", "accessibilityHazard: unknown"}},
    };
    for (const auto& [pages, expected] : cases) {
        writeText(oebps / "Flow_0.xhtml", page(pages));
        const xml::Document opf = build(epubOptions(3));
        EXPECT_EQ(opf.root().attribute("xml:lang"), "en");
        std::vector<std::string> stated;
        std::string summary;
        for (const xml::Element& element : opf.root().firstChild("metadata").children("meta")) {
            const std::string property = element.attribute("property").value_or("");
            if (property == "schema:accessibilitySummary") summary = element.text();
            else if (property.starts_with("schema:")) stated.push_back(property.substr(7) + ": " + element.text());
        }
        EXPECT_EQ(stated, expected) << pages;
        EXPECT_FALSE(summary.empty());
    }
    // A table of contents is claimed only when there is more than the cover to it.
    writeText(oebps / "toc.ncx", "<ncx><navMap><navPoint><content src=\"Flow_0.xhtml\"/></navPoint>"
                                 "<navPoint><content src=\"Flow_1.xhtml\"/></navPoint></navMap></ncx>");
    EXPECT_EQ(meta(build(epubOptions(3)), "schema:accessibilityFeature"), "tableOfContents");
    EXPECT_EQ(meta(build(epubOptions(2)), "schema:accessMode"), "(none)");
}

}  // namespace
}  // namespace packager::testing
