#include <climits>

#include "common/file/file_io.h"
#include "common/xml/libxml_support.h"
#include "common/xml/xml.h"

namespace packager::xml {

using namespace detail;

namespace {

// No network, no DTD loading, no entity substitution and libxml2's default
// limits on entity amplification and depth: a hostile file can neither reach
// out nor expand an entity into the tree.
constexpr int strictOptions = XML_PARSE_NONET;
constexpr int recoverOptions = XML_PARSE_NONET | XML_PARSE_RECOVER;

// What the parser's own context carries for the callbacks below. libxml2
// hands a context to every SAX callback; one it makes on its own for entity
// content lacks _private: its errors are dropped (the outer context reports
// the failure) and its elements, which are not the document's text, go
// unobserved.
struct ParseState {
    ErrorCollector* errors;
    TagObserver* observer;
};

ParseState* stateOf(void* userData) {
    auto* context = static_cast<xmlParserCtxt*>(userData);
    return context == nullptr ? nullptr : static_cast<ParseState*>(context->_private);
}

// The parser's offset in the text it was given.
std::size_t offsetOf(const xmlParserCtxt& context) {
    return context.input->consumed + static_cast<std::size_t>(context.input->cur - context.input->base);
}

void collectParserError(void* userData, xmlError* error) {
    if (ParseState* state = stateOf(userData); state != nullptr && error != nullptr) state->errors->record(*error);
}

// Called with the parser just past the attributes, at ">" or "/>".
void observeStart(void* userData, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri, int namespaceCount,
                  const xmlChar** namespaces, int attributeCount, int defaultedCount, const xmlChar** attributes) {
    xmlSAX2StartElementNs(userData, name, prefix, uri, namespaceCount, namespaces, attributeCount, defaultedCount, attributes);
    auto* context = static_cast<xmlParserCtxt*>(userData);
    if (ParseState* state = stateOf(userData); state != nullptr && context->node != nullptr)
        state->observer->startTag(context->node, offsetOf(*context));
}

// Called with the parser past the end tag; the element is still the current node.
void observeEnd(void* userData, const xmlChar* name, const xmlChar* prefix, const xmlChar* uri) {
    auto* context = static_cast<xmlParserCtxt*>(userData);
    if (ParseState* state = stateOf(userData); state != nullptr && context->node != nullptr)
        state->observer->endTag(context->node, offsetOf(*context));
    xmlSAX2EndElementNs(userData, name, prefix, uri);
}

// Asked for any external resource the parser would load; answers that there is none.
xmlParserInput* refuseExternalEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

DocPtr failure(std::string* error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return nullptr;
}

}  // namespace

void Document::Free::operator()(_xmlDoc* doc) const { xmlFreeDoc(doc); }

DocPtr detail::parseTree(std::string_view bytes, Parse mode, int extraOptions, const std::string& source,
                        std::string* error, TagObserver* observer) {
    initLibrary();
    ErrorCollector collector(source);
    if (bytes.empty()) return failure(error, collector.message("empty document"));
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return failure(error, collector.message("too large"));

    ThreadErrorScope scope(collector);
    ParserContextPtr context(xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size())));
    if (!context) return failure(error, collector.message("cannot create a parser"));
    xmlCtxtUseOptions(context.get(), (mode == Parse::Recover ? recoverOptions : strictOptions) | extraOptions);
    ParseState state{&collector, observer};
    context->_private = &state;
    context->sax->serror = collectParserError;
    context->sax->resolveEntity = refuseExternalEntity;
    if (observer != nullptr) {
        context->sax->startElementNs = observeStart;
        context->sax->endElementNs = observeEnd;
    }

    xmlParseDocument(context.get());
    DocPtr doc(context->myDoc);
    context->myDoc = nullptr;
    bool accepted = context->wellFormed != 0 || mode == Parse::Recover;
    if (!doc || !accepted) return failure(error, collector.message("not well-formed"));
    if (xmlDocGetRootElement(doc.get()) == nullptr) return failure(error, collector.message("no root element"));
    return doc;
}

std::optional<Document> Document::parseMemory(std::string_view bytes, Parse mode, std::string* error) {
    return parseBytes(bytes, mode, "", error);
}

std::optional<Document> Document::parseFile(const std::filesystem::path& file, Parse mode, std::string* error) {
    std::optional<std::string> bytes = readFile(file);
    if (!bytes) {
        if (error != nullptr) *error = file.string() + ": cannot be read";
        return std::nullopt;
    }
    return parseBytes(*bytes, mode, file.string(), error);
}

std::optional<Document> Document::parseBytes(std::string_view bytes, Parse mode, const std::string& source,
                                             std::string* error) {
    DocPtr doc = parseTree(bytes, mode, 0, source, error);
    if (!doc) return std::nullopt;
    return Document(doc.release());
}

Document Document::create(std::string_view rootName) {
    initLibrary();
    xmlDoc* doc = xmlNewDoc(BAD_CAST "1.0");
    Document document(doc);
    xmlNode* root = xmlNewDocNode(doc, nullptr, toXml(std::string(rootName)), nullptr);
    xmlDocSetRootElement(doc, root);
    return document;
}

Element Document::root() const { return Element(doc ? xmlDocGetRootElement(doc.get()) : nullptr); }

}  // namespace packager::xml
