#include "common/xml/libxml_support.h"
#include "common/xml/xml.h"

namespace packager::xml {

using namespace detail;

namespace {

struct QName {
    std::string prefix;  // empty for a plain name
    std::string local;
};

QName splitName(std::string_view name) {
    auto colon = name.find(':');
    if (colon == std::string_view::npos) return {"", std::string(name)};
    return {std::string(name.substr(0, colon)), std::string(name.substr(colon + 1))};
}

// Text and CDATA below `node` in document order. References to entities the
// parser left unsubstituted contribute nothing: following them would let a
// nested-entity document expand without bound.
void appendText(const xmlNode* node, std::string& out) {
    for (const xmlNode* child = node; child != nullptr; child = child->next) {
        switch (child->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE: out += fromXml(child->content); break;
        case XML_ELEMENT_NODE: appendText(child->children, out); break;
        default: break;
        }
    }
}

xmlAttr* findAttribute(xmlNode* node, std::string_view name) {
    for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next)
        if (qualifiedName(attribute) == name) return attribute;
    return nullptr;
}

}  // namespace

std::string Element::name() const { return node ? qualifiedName(node) : std::string(); }

std::vector<Element> Element::children() const {
    std::vector<Element> result;
    if (!node) return result;
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE) result.emplace_back(child);
    return result;
}

std::vector<Element> Element::children(std::string_view name) const {
    std::vector<Element> result;
    for (Element child : children())
        if (child.name() == name) result.push_back(child);
    return result;
}

Element Element::firstChild(std::string_view name) const {
    if (!node) return {};
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (child->type == XML_ELEMENT_NODE && qualifiedName(child) == name) return Element(child);
    return {};
}

std::optional<std::string> Element::attribute(std::string_view name) const {
    if (!node) return std::nullopt;
    xmlAttr* found = findAttribute(node, name);
    if (found == nullptr) return std::nullopt;
    std::string value;
    appendText(found->children, value);
    return value;
}

std::string Element::text() const {
    std::string result;
    if (node) appendText(node->children, result);
    return result;
}

Element Element::addChild(std::string_view name) {
    if (!node) return {};
    QName qname = splitName(name);
    xmlNs* ns = xmlSearchNs(node->doc, node, qname.prefix.empty() ? nullptr : toXml(qname.prefix));
    if (ns != nullptr && qname.prefix.empty() && (ns->href == nullptr || ns->href[0] == 0)) ns = nullptr;  // xmlns=""
    std::string written = ns == nullptr ? std::string(name) : qname.local;
    xmlNode* child = xmlNewDocNode(node->doc, ns, toXml(written), nullptr);
    if (child == nullptr) return {};
    return Element(xmlAddChild(node, child));
}

Element Element::addChild(std::string_view name, std::string_view text) {
    Element child = addChild(name);
    child.setText(text);
    return child;
}

void Element::setText(std::string_view text) {
    if (!node) return;
    xmlNodeSetContent(node, nullptr);  // frees the children
    if (text.empty()) return;
    // A text node, not xmlNodeSetContent's value: that would read "&name;" as a reference.
    const std::string characters = xmlCharacters(text);
    xmlNode* content = xmlNewDocTextLen(node->doc, toXml(characters), static_cast<int>(characters.size()));
    if (content != nullptr) xmlAddChild(node, content);
}

void Element::setAttribute(std::string_view name, std::string_view value) {
    if (!node) return;
    if (name == "xmlns" || name.starts_with("xmlns:")) {
        addNamespace(name == "xmlns" ? std::string_view() : name.substr(6), value);
        return;
    }
    const std::string text = xmlCharacters(value);
    if (xmlAttr* existing = findAttribute(node, name)) {
        // Same namespace and local name: libxml2 replaces the value where it stands.
        xmlSetNsProp(node, existing->ns, existing->name, toXml(text));
        return;
    }
    QName qname = splitName(name);
    xmlNs* ns = qname.prefix.empty() ? nullptr : xmlSearchNs(node->doc, node, toXml(qname.prefix));
    if (ns != nullptr) xmlNewNsProp(node, ns, toXml(qname.local), toXml(text));
    else xmlNewProp(node, toXml(std::string(name)), toXml(text));
}

void Element::removeAttribute(std::string_view name) {
    if (!node) return;
    if (xmlAttr* existing = findAttribute(node, name)) xmlRemoveProp(existing);
}

void Element::addNamespace(std::string_view prefix, std::string_view uri) {
    if (!node) return;
    std::string href(uri);
    std::string prefixText(prefix);
    const xmlChar* prefixXml = prefix.empty() ? nullptr : toXml(prefixText);
    for (xmlNs* existing = node->nsDef; existing != nullptr; existing = existing->next) {
        if (!xmlStrEqual(existing->prefix, prefixXml)) continue;
        xmlFree(const_cast<xmlChar*>(existing->href));
        existing->href = xmlStrdup(toXml(href));
        return;
    }
    xmlNs* ns = xmlNewNs(node, toXml(href), prefixXml);
    // The element that declares a default namespace is in it, as a parser would read it.
    if (ns != nullptr && prefixXml == nullptr && node->ns == nullptr && !xmlStrchr(node->name, ':')) node->ns = ns;
}

}  // namespace packager::xml
