#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace packager::xml {

// A non-owning handle on an element of a Document. An empty handle is safe to
// use: queries answer nothing and edits do nothing.
class Element {
public:
    Element() = default;
    explicit Element(_xmlNode* node) : node(node) {}
    explicit operator bool() const { return node != nullptr; }

    std::string name() const;  // qualified name as written ("dc:title", "body")
    std::vector<Element> children() const;  // element children, document order
    std::vector<Element> children(std::string_view name) const;
    Element firstChild(std::string_view name) const;
    std::optional<std::string> attribute(std::string_view name) const;
    std::string text() const;

    // A new last child. A "prefix:name" is bound to the prefix's declared
    // namespace; a plain name takes the parent's default namespace.
    Element addChild(std::string_view name);
    Element addChild(std::string_view name, std::string_view text);
    void setText(std::string_view text);
    // Replaces the value in place when the attribute exists, else appends it.
    void setAttribute(std::string_view name, std::string_view value);
    void removeAttribute(std::string_view name);
    // Declares a namespace; the empty prefix makes it this element's default.
    void addNamespace(std::string_view prefix, std::string_view uri);

    _xmlNode* raw() const { return node; }

private:
    _xmlNode* node = nullptr;
};

enum class Parse {
    Strict,   // well-formed XML only
    Recover,  // best effort for hand-edited files
};

struct WriteOptions {
    bool declareEncoding = true;  // encoding="utf-8" in the declaration
    bool pretty = true;           // indented; false keeps the document's own whitespace
    bool xhtml = false;           // serialise for XHTML readers (no self-closed non-void elements)
};

// An owned document. Parsing never touches the network, never loads external
// DTDs or entities and refuses entity-expansion bombs.
class Document {
public:
    static std::optional<Document> parseFile(const std::filesystem::path& file, Parse mode = Parse::Strict,
                                             std::string* error = nullptr);
    static std::optional<Document> parseMemory(std::string_view bytes, Parse mode = Parse::Strict,
                                               std::string* error = nullptr);
    // A new document with version "1.0" around a root element of that name.
    static Document create(std::string_view rootName);

    Element root() const;
    std::string serialize(const WriteOptions& options = {}) const;
    // Serialises and writes atomically.
    bool save(const std::filesystem::path& file, const WriteOptions& options = {}) const;

private:
    struct Free {
        void operator()(_xmlDoc* doc) const;
    };
    explicit Document(_xmlDoc* doc) : doc(doc) {}
    std::unique_ptr<_xmlDoc, Free> doc;
};

}  // namespace packager::xml
