// The navigation files: the export's own when it has them, else a one-entry
// NCX (and, for EPUB 3, a one-entry navigation document) pointing at the cover.
// Both are the host's when exported and are copied byte for byte.
#include "common/file/file_io.h"
#include "common/xml/xml.h"
#include "epub/epub_packager.h"
#include "epub/workspace_copy.h"

namespace packager {

namespace {

constexpr std::string_view kNcxNamespace = "http://www.daisy.org/z3986/2005/ncx/";
constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kOpsNamespace = "http://www.idpf.org/2007/ops";
// Every book without an NCX of its own carries this identifier.
constexpr std::string_view kFixedBookUid = "urn:uuid:0cc33cbd-94e2-49c1-909a-72ae16bc2658";
constexpr std::string_view kDefaultTitle = "ePub made using Pagewell";
constexpr std::string_view kCoverLabel = "Book Cover";
constexpr std::string_view kCoverPage = "cover.xhtml";

void addMeta(xml::Element head, std::string_view name, std::string_view content) {
    xml::Element meta = head.addChild("meta");
    meta.setAttribute("name", name);
    meta.setAttribute("content", content);
}

xml::Document minimalNcx() {
    xml::Document document = xml::Document::create("ncx");
    xml::Element ncx = document.root();
    ncx.addNamespace("", kNcxNamespace);
    ncx.setAttribute("version", "2005-1");

    xml::Element head = ncx.addChild("head");
    addMeta(head, "dtb:uid", kFixedBookUid);
    addMeta(head, "dtb:depth", "1");
    addMeta(head, "dtb:totalPageCount", "0");
    addMeta(head, "dtb:maxPageNumber", "0");

    ncx.addChild("docTitle").addChild("text", kDefaultTitle);

    xml::Element navPoint = ncx.addChild("navMap").addChild("navPoint");
    navPoint.setAttribute("id", "cover");
    navPoint.setAttribute("playOrder", "1");
    navPoint.addChild("navLabel").addChild("text", kCoverLabel);
    navPoint.addChild("content").setAttribute("src", kCoverPage);
    return document;
}

// EPUB 3 requires a navigation document; this one says what the minimal NCX says.
xml::Document minimalNavigationDocument() {
    xml::Document document = xml::Document::create("html");
    xml::Element html = document.root();
    html.addNamespace("", kXhtmlNamespace);
    html.addNamespace("epub", kOpsNamespace);
    html.addChild("head").addChild("title", "Table Of Contents");
    xml::Element nav = html.addChild("body").addChild("nav");
    nav.setAttribute("epub:type", "toc");
    nav.setAttribute("id", "toc");
    nav.addChild("ol").addChild("li").addChild("a", kCoverLabel).setAttribute("href", kCoverPage);
    return document;
}

}  // namespace

bool EpubPackager::createTableOfContents(std::uint32_t epubVersion) {
    const fs::path exported = sourceDir_ / "OEBPS";
    const fs::path target = oebpsDir();

    // A navigation document belongs to EPUB 3, which requires one; an EPUB 2
    // book takes its table of contents from the NCX alone.
    if (epubVersion >= 3) {
        const fs::path navigation = target / "nav.xhtml";
        if (exists(exported / "nav.xhtml") ? !placeIfEligible(exported / "nav.xhtml", navigation)
                                           : !exists(navigation) && !minimalNavigationDocument().save(navigation))
            return false;
    }

    if (exists(exported / "toc.ncx")) return placeIfEligible(exported / "toc.ncx", target / "toc.ncx");
    return exists(target / "toc.ncx") || minimalNcx().save(target / "toc.ncx");
}

}  // namespace packager
