#include <algorithm>
#include <array>
#include <string_view>

#include "common/file/file_io.h"
#include "common/xml/libxml_support.h"
#include "common/xml/xml.h"

namespace packager::xml {

using namespace detail;

namespace {

constexpr std::string_view xhtmlNamespace = "http://www.w3.org/1999/xhtml";

// Elements that HTML defines as having no content; every other element must be
// written with an end tag for a reader that takes the page as HTML.
constexpr std::array<std::string_view, 14> voidElements = {
    "area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source", "track", "wbr"};

struct CloseSave {
    void operator()(xmlSaveCtxt* save) const { xmlSaveClose(save); }
};
using SavePtr = std::unique_ptr<xmlSaveCtxt, CloseSave>;

bool inXhtml(const xmlNode* node) { return node->ns == nullptr || fromXml(node->ns->href) == xhtmlNamespace; }

bool isVoid(const xmlNode* node) {
    return std::find(voidElements.begin(), voidElements.end(), fromXml(node->name)) != voidElements.end();
}

// An empty text child makes libxml2 write "<video></video>" instead of "<video/>".
void giveEndTags(xmlNode* parent) {
    for (xmlNode* child = parent->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        if (child->children == nullptr && inXhtml(child) && !isVoid(child))
            xmlAddChild(child, xmlNewDocText(child->doc, BAD_CAST ""));
        else
            giveEndTags(child);
    }
}

bool isBlankText(const xmlNode* node) { return node->type == XML_TEXT_NODE && xmlIsBlankNode(node) != 0; }

// Removes the whitespace between elements that hold no other text, so that
// libxml2 re-indents them; mixed content and xml:space="preserve" keep theirs.
void dropIndentation(xmlNode* element) {
    if (xmlNodeGetSpacePreserve(element) == 1) return;
    bool hasElement = false;
    bool hasText = false;
    for (xmlNode* child = element->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) hasElement = true;
        else if (child->type == XML_CDATA_SECTION_NODE || child->type == XML_ENTITY_REF_NODE) hasText = true;
        else if (child->type == XML_TEXT_NODE && !isBlankText(child)) hasText = true;
    }
    for (xmlNode* child = element->children; child != nullptr;) {
        xmlNode* next = child->next;
        if (hasElement && !hasText && isBlankText(child)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        } else if (child->type == XML_ELEMENT_NODE) {
            dropIndentation(child);
        }
        child = next;
    }
}

int appendOutput(void* target, const char* bytes, int length) {
    static_cast<std::string*>(target)->append(bytes, static_cast<std::size_t>(length));
    return length;
}

int closeOutput(void*) { return 0; }

}  // namespace

std::string Document::serialize(const WriteOptions& options) const {
    if (!doc) return {};
    initLibrary();
    ErrorCollector ignored("");
    ThreadErrorScope scope(ignored);

    // Layout changes are made on a copy: serialising never alters the document.
    DocPtr copy;
    xmlDoc* source = doc.get();
    if (options.pretty || options.xhtml) {
        copy.reset(xmlCopyDoc(source, 1));
        if (!copy) return {};
        source = copy.get();
        xmlNode* root = xmlDocGetRootElement(source);
        if (root != nullptr && options.pretty) dropIndentation(root);
        if (root != nullptr && options.xhtml) {
            if (root->children == nullptr && !isVoid(root)) xmlAddChild(root, xmlNewDocText(source, BAD_CAST ""));
            giveEndTags(root);
        }
    }

    // The declaration is written here so that it says exactly what was asked;
    // libxml2 is told the output is UTF-8 so that it never escapes non-ASCII
    // text as character references, and never to switch to its own XHTML rules
    // (which would add elements to the page).
    std::string out = options.declareEncoding ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                              : "<?xml version=\"1.0\"?>\n";
    int saveOptions = XML_SAVE_NO_DECL | XML_SAVE_NO_XHTML | XML_SAVE_AS_XML;
    if (options.pretty) saveOptions |= XML_SAVE_FORMAT;
    SavePtr save(xmlSaveToIO(appendOutput, closeOutput, &out, "UTF-8", saveOptions));
    if (!save) return {};
    bool written = xmlSaveDoc(save.get(), source) >= 0;
    // Closing flushes into `out`, so it must happen before `out` is returned.
    if (xmlSaveClose(save.release()) < 0 || !written) return {};
    return out;
}

std::string Element::markup() const {
    if (!node) return {};
    initLibrary();
    ErrorCollector ignored("");
    ThreadErrorScope scope(ignored);
    std::string out;
    SavePtr save(xmlSaveToIO(appendOutput, closeOutput, &out, "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_NO_XHTML | XML_SAVE_AS_XML));
    if (!save) return {};
    // Attribute values keep their characters, rather than becoming character
    // references, only in a document that says it is UTF-8; serialize() has
    // libxml2 say so while it writes, and so does this.
    xmlDoc* doc = node->doc;
    const xmlChar* encoding = doc->encoding;
    doc->encoding = BAD_CAST "UTF-8";
    const bool written = xmlSaveTree(save.get(), node) >= 0;
    doc->encoding = encoding;
    if (xmlSaveClose(save.release()) < 0 || !written) return {};
    return out;
}

bool Document::save(const std::filesystem::path& file, const WriteOptions& options) const {
    std::string bytes = serialize(options);
    return !bytes.empty() && writeFileAtomically(file, bytes);
}

}  // namespace packager::xml
