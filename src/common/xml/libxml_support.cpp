#include "common/xml/libxml_support.h"

#include <libxml/globals.h>

#include <mutex>

#include "common/platform/platform.h"

namespace packager::xml::detail {

namespace {

void collectStructured(void* collector, xmlError* error) {
    if (collector != nullptr && error != nullptr) static_cast<ErrorCollector*>(collector)->record(*error);
}

// Unstructured reports carry no position; they are dropped rather than printed.
void ignoreGeneric(void*, const char*, ...) {}

}  // namespace

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void ErrorCollector::record(const xmlError& error) {
    if (error.level == XML_ERR_NONE) return;
    std::string& slot = error.level == XML_ERR_WARNING ? firstWarning : firstError;
    if (!slot.empty()) return;
    std::string text = error.message != nullptr ? error.message : "unknown error";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::string where = source;
    if (error.line > 0) where += (where.empty() ? "line " : ":") + std::to_string(error.line);
    slot = where.empty() ? text : where + ": " + text;
}

std::string ErrorCollector::message(std::string_view fallback) const {
    if (!firstError.empty()) return firstError;
    if (!firstWarning.empty()) return firstWarning;
    if (source.empty()) return std::string(fallback);
    return source + ": " + std::string(fallback);
}

ThreadErrorScope::ThreadErrorScope(ErrorCollector& collector)
    : savedHandler(xmlStructuredError),
      savedContext(xmlStructuredErrorContext),
      savedGeneric(xmlGenericError),
      savedGenericContext(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(&collector, collectStructured);
    xmlSetGenericErrorFunc(nullptr, ignoreGeneric);
}

ThreadErrorScope::~ThreadErrorScope() {
    xmlSetStructuredErrorFunc(savedContext, savedHandler);
    xmlSetGenericErrorFunc(savedGenericContext, savedGeneric);
}

std::string xmlCharacters(std::string_view text) {
    std::u16string units = platform::utf8ToUtf16(std::string(text));
    for (char16_t& unit : units) {
        const bool control = unit < 0x20 && unit != '\t' && unit != '\n' && unit != '\r';
        if (control || unit == 0xFFFE || unit == 0xFFFF) unit = 0xFFFD;
    }
    return platform::utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(units.c_str()));
}

std::string qualifiedName(const xmlNode* node) {
    std::string name(fromXml(node->name));
    if (node->ns != nullptr && node->ns->prefix != nullptr) return std::string(fromXml(node->ns->prefix)) + ":" + name;
    return name;
}

std::string qualifiedName(const xmlAttr* attribute) {
    std::string name(fromXml(attribute->name));
    if (attribute->ns != nullptr && attribute->ns->prefix != nullptr)
        return std::string(fromXml(attribute->ns->prefix)) + ":" + name;
    return name;
}

}  // namespace packager::xml::detail
