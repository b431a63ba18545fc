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

void collectParserError(void* userData, xmlError* error) {
    // userData is the parser context: libxml2 hands it to every SAX callback.
    // A context that libxml2 makes on its own for entity content may lack
    // _private; its reports are dropped, the outer context reports the failure.
    auto* context = static_cast<xmlParserCtxt*>(userData);
    if (context == nullptr || context->_private == nullptr || error == nullptr) return;
    static_cast<ErrorCollector*>(context->_private)->record(*error);
}

// Asked for any external resource the parser would load; answers that there is none.
xmlParserInput* refuseExternalEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

std::optional<Document> failure(std::string* error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return std::nullopt;
}

}  // namespace

void Document::Free::operator()(_xmlDoc* doc) const { xmlFreeDoc(doc); }

std::optional<Document> Document::parseMemory(std::string_view bytes, Parse mode, std::string* error) {
    return parseBytes(bytes, mode, "", error);
}

std::optional<Document> Document::parseFile(const std::filesystem::path& file, Parse mode, std::string* error) {
    std::optional<std::string> bytes = readFile(file);
    if (!bytes) return failure(error, file.string() + ": cannot be read");
    return parseBytes(*bytes, mode, file.string(), error);
}

std::optional<Document> Document::parseBytes(std::string_view bytes, Parse mode, const std::string& source,
                                             std::string* error) {
    initLibrary();
    ErrorCollector collector(source);
    if (bytes.empty()) return failure(error, collector.message("empty document"));
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return failure(error, collector.message("too large"));

    ThreadErrorScope scope(collector);
    ParserContextPtr context(xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size())));
    if (!context) return failure(error, collector.message("cannot create a parser"));
    xmlCtxtUseOptions(context.get(), mode == Parse::Recover ? recoverOptions : strictOptions);
    context->_private = &collector;
    context->sax->serror = collectParserError;
    context->sax->resolveEntity = refuseExternalEntity;

    xmlParseDocument(context.get());
    DocPtr doc(context->myDoc);
    context->myDoc = nullptr;
    bool accepted = context->wellFormed != 0 || mode == Parse::Recover;
    if (!doc || !accepted) return failure(error, collector.message("not well-formed"));
    if (xmlDocGetRootElement(doc.get()) == nullptr) return failure(error, collector.message("no root element"));
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
