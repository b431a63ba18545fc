#pragma once

// Private to the XML layer: the only header outside libxml2 itself that names
// libxml2 types. Nothing outside src/common/xml/ includes it.

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "common/xml/xml.h"

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

// Told, for each element of the document being parsed, where its start tag
// and the element itself end, as byte offsets in the document's text; never
// told of the elements of entity content, which libxml2 parses apart.
class TagObserver {
public:
    virtual ~TagObserver() = default;
    // `tagEnd` is where its start tag has its ">" or "/>".
    virtual void startTag(const xmlNode* element, std::size_t tagEnd) = 0;
    // `elementEnd` is just past its end tag, or past "/>".
    virtual void endTag(const xmlNode* element, std::size_t elementEnd) = 0;
};

// Parses as Document::parseMemory() describes, with `extraOptions` for
// libxml2, telling `observer` (when given) of every element. Null when
// parsing fails, `error` (when given) then telling why.
DocPtr parseTree(std::string_view bytes, Parse mode, int extraOptions, const std::string& source, std::string* error,
                 TagObserver* observer = nullptr);

// XML 1.0 cannot carry invalid UTF-8, control characters other than tab and
// line breaks, or U+FFFE and U+FFFF, not even as character references. Values
// often come from file names, which may hold any byte, so such characters
// become U+FFFD and the saved document always parses again.
std::string xmlCharacters(std::string_view text);

// "prefix:name" for a namespaced element or attribute, else its name.
std::string qualifiedName(const xmlNode* node);
std::string qualifiedName(const xmlAttr* attribute);

}  // namespace packager::xml::detail
