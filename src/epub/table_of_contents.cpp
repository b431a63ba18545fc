// The navigation files: the export's own when it has them, else a one-entry
// NCX pointing at the cover and, for EPUB 3, a navigation document made from
// the NCX. Both are the host's when exported and are copied byte for byte.
#include "common/file/file_io.h"
#include "common/xml/xml.h"
#include "epub/build_steps.h"
#include "epub/navigation_document.h"
#include "epub/workspace_copy.h"

namespace packager {

namespace {

constexpr std::string_view kNcxNamespace = "http://www.daisy.org/z3986/2005/ncx/";
// Every book without an NCX of its own carries this identifier.
constexpr std::string_view kFixedBookUid = "urn:uuid:0cc33cbd-94e2-49c1-909a-72ae16bc2658";
constexpr std::string_view kDefaultTitle = "ePub made using Pagewell";

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

// The export's NCX, unless it is reached through a link or does not parse.
std::optional<xml::Document> exportedNcx(const fs::path& exported) {
    const fs::path ncx = exported / "toc.ncx";
    return isPlainFile(ncx) ? xml::Document::parseFile(ncx) : std::nullopt;
}

}  // namespace

std::optional<BookFiles> createTableOfContents(const EpubExport& source, std::uint32_t epubVersion,
                                               const fs::path& oebps) {
    const fs::path exported = source.reflowFolder();
    BookFiles placed;
    // A file the run makes itself joins the book once it is saved.
    auto made = [&placed](const xml::Document& document, const fs::path& oebps, const fs::path& inBook) {
        if (!document.save(oebps / inBook)) return false;
        placed.insert(inBook);
        return true;
    };

    // A navigation document belongs to EPUB 3, which requires one; an EPUB 2
    // book takes its table of contents from the NCX alone.
    if (epubVersion >= 3) {
        const bool navigation =
            exists(exported / "nav.xhtml")
                ? placeIfEligible(exported / "nav.xhtml", oebps, "nav.xhtml", placed)
                : made(navigationDocument(exportedNcx(exported), source.metadata.bookLanguage()), oebps, "nav.xhtml");
        if (!navigation) return std::nullopt;
    }
    const bool ncx = exists(exported / "toc.ncx") ? placeIfEligible(exported / "toc.ncx", oebps, "toc.ncx", placed)
                                                  : made(minimalNcx(), oebps, "toc.ncx");
    if (!ncx) return std::nullopt;
    return placed;
}

}  // namespace packager
