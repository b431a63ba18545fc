// The package document: metadata, a manifest of every file the earlier steps
// placed in the book, the spine of the reflow pages and the guide; and the
// blank page that opens a book whose spreads start on the right.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <limits>

#include "common/assets/media_types.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/ascii_case.h"
#include "common/text/percent_encoding.h"
#include "common/xml/xml.h"
#include "epub/accessibility.h"
#include "epub/build_steps.h"

namespace packager {

namespace {

constexpr std::string_view kOpfNamespace = "http://www.idpf.org/2007/opf";
constexpr std::string_view kDublinCoreNamespace = "http://purl.org/dc/elements/1.1/";
constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kVocabularyPrefixes =
    "rendition: http://www.idpf.org/vocab/rendition/#  "
    "ibooks: http://vocabulary.itunes.apple.com/rdf/ibooks/vocabulary-extensions-1.0/";
constexpr std::string_view kXhtmlMediaType = "application/xhtml+xml";
constexpr std::string_view kUnknownMediaType = "application/octet-stream";

// Files with items of their own, or the package document itself, wherever they lie.
constexpr std::string_view kListedElsewhere[] = {"toc.ncx",   "nav.xhtml", "cover.xhtml", "cover.png",
                                                 "cover.jpg", "cover.gif", "content.opf"};

enum class SpreadSide { left, right };

// What the options ask of the package document.
struct Layout {
    explicit Layout(const EpubOptions& options)
        : epub3(options.epubVersion >= 3),
          fixed(options.fixedLayout != 0),
          spreadPlacement(epub3 && (options.spreadMode == 2 || options.spreadMode == 3)),
          firstSide(options.spreadMode == 3 ? SpreadSide::right : SpreadSide::left),
          blankPage(epub3 && options.spreadMode == 3) {}

    bool epub3;
    bool fixed;
    bool spreadPlacement;
    SpreadSide firstSide;
    bool blankPage;
};

// The table's media type for a file name, looked up under "." and the
// lower-cased extension.
std::optional<std::string> mediaTypeOf(const MediaTypes::Table& table, const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    if (extension.empty()) extension = ".";
    auto found = table.find(lowerCased(extension));
    if (found == table.end()) return std::nullopt;
    return found->second;
}

// The cover's own type when the table lacks it: the name is always one of three.
std::string coverMediaType(const MediaTypes::Table& table, const std::string& coverName) {
    if (auto type = mediaTypeOf(table, coverName)) return *type;
    if (coverName.ends_with(".jpg")) return "image/jpeg";
    if (coverName.ends_with(".gif")) return "image/gif";
    return "image/png";
}

// A relative path as an href: characters that may not stand in a URL are
// percent-encoded; other non-ASCII characters stay as they are (an IRI).
std::string hrefOf(const fs::path& relative) {
    static constexpr std::string_view kEscaped = "\"%#<>?[\\]^`{|} ";
    return percentEncoded(relative.generic_string(), [](unsigned char c) {
        return c >= 0x20 && c != 0x7F && kEscaped.find(static_cast<char>(c)) == std::string_view::npos;
    });
}

std::string modificationTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

void addNamedMeta(xml::Element metadata, std::string_view name, std::string_view content) {
    xml::Element meta = metadata.addChild("meta");
    meta.setAttribute("name", name);
    meta.setAttribute("content", content);
}

void addPropertyMeta(xml::Element metadata, std::string_view property, std::string_view value) {
    metadata.addChild("meta", value).setAttribute("property", property);
}

xml::Element addMetadata(xml::Element package, const MetaDataReader& reader, const EpubOptions& options,
                         const Layout& layout) {
    xml::Element metadata = package.addChild("metadata");
    metadata.addNamespace("dc", kDublinCoreNamespace);
    metadata.addNamespace("opf", kOpfNamespace);

    metadata.addChild("dc:title", reader.bookTitle());
    metadata.addChild("dc:creator", reader.bookCreator());
    xml::Element identifier = metadata.addChild("dc:identifier", reader.bookIdentifier());
    identifier.setAttribute("id", "bookid");
    if (!layout.epub3) identifier.setAttribute("opf:scheme", "ISBN");
    metadata.addChild("dc:publisher", reader.bookPublisher());
    metadata.addChild("dc:description", reader.bookDescription());
    metadata.addChild("dc:language", reader.bookLanguage());
    for (const std::string& subject : reader.bookSubjects()) metadata.addChild("dc:subject", subject);

    if (layout.epub3) addPropertyMeta(metadata, "dcterms:modified", modificationTimestamp());
    addNamedMeta(metadata, "cover", "cover-image");
    if (layout.epub3) {
        addPropertyMeta(metadata, "rendition:layout", layout.fixed ? "pre-paginated" : "reflowable");
        addPropertyMeta(metadata, "rendition:orientation",
                        options.orientation == 2   ? "portrait"
                        : options.orientation == 1 ? "landscape"
                                                   : "auto");
        addPropertyMeta(metadata, "rendition:spread", options.spreadMode == 1 ? "none" : "auto");
    }
    addNamedMeta(metadata, "generator", reader.contentGeneratorName());
    if (options.layoutVariant == 2)
        addNamedMeta(metadata, "original-resolution",
                     std::to_string(options.pageWidth) + "x" + std::to_string(options.pageHeight));
    return metadata;
}

xml::Element addItem(xml::Element manifest, std::string_view id, std::string_view href, std::string_view mediaType) {
    xml::Element item = manifest.addChild("item");
    item.setAttribute("id", id);
    item.setAttribute("href", href);
    item.setAttribute("media-type", mediaType);
    return item;
}

bool isListedElsewhere(const std::string& name) {
    return std::find(std::begin(kListedElsewhere), std::end(kListedElsewhere), name) != std::end(kListedElsewhere);
}

// The reading order of the reflow pages: by the number after "Flow_", pages
// without one after those with one, by name.
bool readsBefore(const std::string& page, const std::string& other) {
    auto number = [](const std::string& id) {
        const std::string digits = id.substr(id.find('_') + 1);
        const bool numeric = !digits.empty() && digits.size() < 10 &&
                             std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); });
        return numeric ? std::stol(digits) : std::numeric_limits<long>::max();
    };
    const long pageNumber = number(page), otherNumber = number(other);
    return pageNumber != otherNumber ? pageNumber < otherNumber : page < other;
}

// Lists every placed file that has no item of its own; answers the
// identifiers of the reflow pages listed, in reading order.
std::vector<std::string> addPlacedItems(xml::Element manifest, const BookFiles& placed, const fs::path& oebps,
                                        const MediaTypes::Table& mediaTypes, const Layout& layout) {
    std::vector<std::string> flowPages;
    for (const fs::path& relative : placed) {
        const std::string name = relative.filename().string();
        if (isListedElsewhere(name)) continue;
        const bool flowPage = isFlowPageName(name) && !relative.has_parent_path();
        const std::string id =
            flowPage ? relative.filename().stem().string() : "navpoint-" + EpubPackagerFileUtility::randomFileName();
        if (flowPage) flowPages.push_back(id);

        xml::Element item = addItem(manifest, id, hrefOf(relative),
                                    mediaTypeOf(mediaTypes, name).value_or(std::string(kUnknownMediaType)));
        if (layout.epub3 && flowPage)
            item.setAttribute("properties",
                              EpubPackagerFileUtility::findInFile(oebps / relative, "<svg") ? "svg scripted" : "scripted");
    }
    std::sort(flowPages.begin(), flowPages.end(), readsBefore);
    return flowPages;
}

void addGuide(xml::Element package, bool navigationDocument) {
    xml::Element guide = package.addChild("guide");
    auto addReference = [&guide](std::string_view href, std::string_view type, std::string_view title) {
        xml::Element reference = guide.addChild("reference");
        reference.setAttribute("href", href);
        reference.setAttribute("type", type);
        reference.setAttribute("title", title);
    };
    addReference("cover.xhtml", "cover", "Cover");
    if (navigationDocument) addReference("nav.xhtml", "toc", "Table Of Contents");
}

// The page of the options' size that opens a book whose spreads start on the right.
bool CreateHTMLFile(const fs::path& oebps, const EpubOptions& options) {
    xml::Document document = xml::Document::create("html");
    xml::Element html = document.root();
    html.addNamespace("", kXhtmlNamespace);
    xml::Element head = html.addChild("head");
    head.addChild("title", "Cover");
    head.addChild("style", "img { max-width: 100%; }").setAttribute("type", "text/css");
    xml::Element viewport = head.addChild("meta");
    viewport.setAttribute("name", "viewport");
    viewport.setAttribute("content",
                          "width=" + std::to_string(options.pageWidth) + ",height=" + std::to_string(options.pageHeight));
    html.addChild("body");
    return document.save(oebps / "blankpage.xhtml");
}

}  // namespace

std::optional<BookFiles> createContentOPF(const EpubExport& source, const MediaTypes::Table& mediaTypes,
                                          const BookFiles& placed, const EpubOptions& options, const fs::path& oebps) {
    const Layout layout(options);
    BookFiles written;

    xml::Document document = xml::Document::create("package");
    xml::Element package = document.root();
    package.addNamespace("", kOpfNamespace);
    package.setAttribute("version", std::to_string(options.epubVersion) + ".0");
    package.setAttribute("unique-identifier", "bookid");
    if (layout.epub3) package.setAttribute("prefix", kVocabularyPrefixes);

    const MetaDataReader& reader = source.metadata;
    const std::string progression = reader.storyDirection() == "HORIZONTAL" ? "ltr" : "rtl";
    if (layout.epub3) package.setAttribute("xml:lang", reader.bookLanguage());
    xml::Element metadata = addMetadata(package, reader, options, layout);
    // Readers and stores need a book to state how it can be read.
    if (layout.epub3) addAccessibilityMetadata(metadata, surveyAccessibility(oebps, placed));

    const std::string coverName = coverImageName(oebps / "images");
    const bool navigationDocument = placed.contains("nav.xhtml");

    xml::Element manifest = package.addChild("manifest");
    addItem(manifest, "ncx", "toc.ncx", "application/x-dtbncx+xml");
    addItem(manifest, "cover", "cover.xhtml", kXhtmlMediaType);
    addItem(manifest, "cover-image", "images/" + coverName, coverMediaType(mediaTypes, coverName));
    if (navigationDocument) {
        xml::Element nav = addItem(manifest, "nav", "nav.xhtml", kXhtmlMediaType);
        if (layout.epub3) nav.setAttribute("properties", "nav");
    }
    if (layout.blankPage) addItem(manifest, "blankpage", "blankpage.xhtml", kXhtmlMediaType);
    const std::vector<std::string> flowPages = addPlacedItems(manifest, placed, oebps, mediaTypes, layout);

    xml::Element spine = package.addChild("spine");
    spine.setAttribute("toc", "ncx");
    if (layout.epub3) spine.setAttribute("page-progression-direction", progression);
    auto addItemref = [&spine](std::string_view idref) {
        xml::Element itemref = spine.addChild("itemref");
        itemref.setAttribute("idref", idref);
        return itemref;
    };
    addItemref("cover").setAttribute("linear", "yes");
    if (navigationDocument && !layout.fixed) addItemref("nav").setAttribute("linear", "no");
    if (layout.blankPage) {
        if (!CreateHTMLFile(oebps, options)) return std::nullopt;
        written.insert("blankpage.xhtml");
        addItemref("blankpage");
    }
    SpreadSide side = layout.firstSide;
    for (const std::string& page : flowPages) {
        xml::Element itemref = addItemref(page);
        if (!layout.spreadPlacement) continue;
        itemref.setAttribute("properties", side == SpreadSide::left ? "rendition:spread-both page-spread-left"
                                                                     : "rendition:spread-both page-spread-right");
        side = side == SpreadSide::left ? SpreadSide::right : SpreadSide::left;
    }

    addGuide(package, navigationDocument);
    if (!document.save(oebps / "content.opf")) return std::nullopt;
    written.insert("content.opf");
    return written;
}

}  // namespace packager
