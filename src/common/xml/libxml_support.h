#pragma once

// Private to the XML layer: the only header outside libxml2 itself that names
// libxml2 types. Nothing outside src/common/xml/ includes it.

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <memory>
#include <string>
#include <string_view>

namespace packager::xml::detail {

// libxml2 must be initialised once before threads use it.
void initLibrary();

struct FreeDoc {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct FreeParserContext {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
using DocPtr = std::unique_ptr<xmlDoc, FreeDoc>;
using ParserContextPtr = std::unique_ptr<xmlParserCtxt, FreeParserContext>;

inline const xmlChar* toXml(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }
inline std::string_view fromXml(const xmlChar* text) {
    return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

// Keeps the first error libxml2 reports (or the first warning when no error
// comes), prefixed with `source` and the line.
class ErrorCollector {
public:
    explicit ErrorCollector(std::string source) : source(std::move(source)) {}
    void record(const xmlError& error);
    // The recorded message, or `fallback` when nothing was reported.
    std::string message(std::string_view fallback) const;

private:
    std::string source;
    std::string firstError;
    std::string firstWarning;
};

// For its lifetime, sends what libxml2 reports on this thread without a parser
// context (serialisation, tree functions) to `collector`, drops its unstructured
// messages instead of printing them, and puts the thread's previous handlers
// back afterwards. libxml2 keeps these handlers per thread, so other threads
// are unaffected.
class ThreadErrorScope {
public:
    explicit ThreadErrorScope(ErrorCollector& collector);
    ~ThreadErrorScope();
    ThreadErrorScope(const ThreadErrorScope&) = delete;
    ThreadErrorScope& operator=(const ThreadErrorScope&) = delete;

private:
    xmlStructuredErrorFunc savedHandler;
    void* savedContext;
    xmlGenericErrorFunc savedGeneric;
    void* savedGenericContext;
};

// "prefix:name" for a namespaced element or attribute, else its name.
std::string qualifiedName(const xmlNode* node);
std::string qualifiedName(const xmlAttr* attribute);

}  // namespace packager::xml::detail
