#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace packager::xml {

// A non-owning handle on an element of a Document; it is valid while the
// Document lives. An empty handle is safe to use: queries answer nothing and
// edits do nothing.
//
// Names are qualified names as written: "dc:title" for an element bound to the
// prefix dc, "metadata" for one in the default namespace or in none. Lookups by
// name compare that text exactly.
class Element {
public:
    Element() = default;
    explicit Element(_xmlNode* node) : node(node) {}
    explicit operator bool() const { return node != nullptr; }

    std::string name() const;               // qualified name as written ("dc:title", "body")
    std::vector<Element> children() const;  // element children, document order
    std::vector<Element> children(std::string_view name) const;
    Element firstChild(std::string_view name) const;
    // attribute() and text() never expand references to entities declared in
    // the document's own DTD: such a reference adds nothing to the value.
    std::optional<std::string> attribute(std::string_view name) const;  // "opf:scheme" or "id"
    std::string text() const;  // text and CDATA of every descendant, document order
    // The element as Document::serialize() writes it with pretty = false,
    // without the namespace declarations of its ancestors: markup to put
    // where those namespaces are declared already.
    std::string markup() const;

    // A new last child. A "prefix:name" is bound to the prefix's namespace as
    // declared on this element or an ancestor (an undeclared prefix stays part
    // of the literal name); a plain name takes the default namespace in scope,
    // so it is written without an xmlns of its own. Declare namespaces before
    // adding the elements that use them.
    Element addChild(std::string_view name);
    Element addChild(std::string_view name, std::string_view text);
    // Replaces the content with one text node; the text is taken literally
    // ("&amp;" stays five characters and is escaped on output).
    // Here and in setAttribute, what XML cannot carry (invalid UTF-8, control
    // characters other than tab and line breaks) becomes U+FFFD.
    void setText(std::string_view text);
    // Replaces the value in place when the attribute exists, else appends it, so
    // attributes are written in the order they were first set. A prefixed name is
    // bound like addChild's; "xmlns" and "xmlns:p" declare namespaces instead.
    void setAttribute(std::string_view name, std::string_view value);
    void removeAttribute(std::string_view name);
    // Declares a namespace on this element, replacing the URI of an earlier
    // declaration of the same prefix; the empty prefix declares the default
    // namespace, which this element then belongs to.
    void addNamespace(std::string_view prefix, std::string_view uri);

    _xmlNode* raw() const { return node; }

private:
    _xmlNode* node = nullptr;
};

enum class Parse {
    Strict,   // well-formed XML only
    Recover,  // best effort for hand-edited files: the parser skips what it cannot read
};

struct WriteOptions {
    // The declaration always says version "1.0"; this adds encoding="utf-8".
    // The bytes are UTF-8 either way.
    bool declareEncoding = true;
    // Indented with two spaces, empty elements as one empty-element tag; the
    // whitespace between elements that hold no other text is redone, mixed
    // content is left as it is. false keeps the document's own whitespace
    // (DOCTYPE, comments and text come out as they went in).
    bool pretty = true;
    // For XHTML pages: every empty element outside HTML's void set (br, img,
    // meta, link, ...) is written with an end tag ("<video ...></video>"), as
    // HTML readers need; nothing else changes.
    bool xhtml = false;
};

// An owned document. Parsing never touches the network, never loads external
// DTDs or external entities, never substitutes entities into the tree and keeps
// libxml2's limits on entity amplification: a file that declares an external
// entity or an entity bomb yields either an error or a tree holding the
// references unexpanded. Nothing is printed: messages go to `error`.
//
// Safe to use from several threads as long as each Document is used by one
// thread at a time.
class Document {
public:
    // nullopt when the file cannot be read, is not well-formed (Strict), or
    // yields no root element; `error`, when given, then tells why, with the
    // file and line where the parser has them.
    static std::optional<Document> parseFile(const std::filesystem::path& file, Parse mode = Parse::Strict,
                                             std::string* error = nullptr);
    static std::optional<Document> parseMemory(std::string_view bytes, Parse mode = Parse::Strict,
                                               std::string* error = nullptr);
    // A new document with version "1.0" around a root element of that name.
    static Document create(std::string_view rootName);

    Element root() const;
    // The declaration followed by the document; empty only if libxml2 fails.
    std::string serialize(const WriteOptions& options = {}) const;
    // Serialises and writes atomically: a temporary file beside `file` is
    // renamed over it, so a failure leaves any previous file as it was.
    bool save(const std::filesystem::path& file, const WriteOptions& options = {}) const;

private:
    struct Free {
        void operator()(_xmlDoc* doc) const;
    };
    explicit Document(_xmlDoc* doc) : doc(doc) {}
    // `source` names the input in error messages ("" for memory).
    static std::optional<Document> parseBytes(std::string_view bytes, Parse mode, const std::string& source,
                                              std::string* error);

    std::unique_ptr<_xmlDoc, Free> doc;

    friend class EditableDocument;
};

// A document's text together with its tree, for edits that must leave every
// byte they do not change as it was (declaration, spacing, quoting, comments),
// as in a package part that is updated rather than written anew. Edits are
// made to the text only; the tree stays as parsed.
class EditableDocument {
public:
    // `text` is UTF-8, whatever its declaration says. nullopt when it is not
    // well-formed; parsed as Document::parseMemory() parses.
    static std::optional<EditableDocument> parse(std::string text);

    Element root() const { return document.root(); }
    // Gives attribute `name` of `element`, an element of this document, the
    // value `value`, escaped, between the attribute's own quotes. False when
    // the element's start tag has no such attribute.
    bool setAttribute(const Element& element, std::string_view name, std::string_view value);
    // Puts `markup` just before the root's end tag, after any put there
    // earlier. False when the root is one empty-element tag.
    bool insertBeforeRootEnd(std::string_view markup);

    // The text from byte `begin` to byte `end`, with the edits made: a
    // document stored in pieces is edited piece by piece. An edit is made
    // whole in the range it starts in, and what it replaces is left out of
    // every range.
    std::string editedText(std::size_t begin, std::size_t end) const;
    std::string editedText() const { return editedText(0, source.size()); }

private:
    struct Edit {
        std::size_t length = 0;  // bytes replaced
        std::string markup;      // what takes their place
    };
    EditableDocument(Document document, std::string source) : document(std::move(document)), source(std::move(source)) {}

    Document document;
    std::string source;
    std::map<const _xmlNode*, std::size_t> startTagEnds;  // where each element's start tag has its ">" or "/>"
    std::size_t rootEnd = 0;                              // just past the root's end tag
    std::map<std::size_t, Edit> edits;                    // by offset in `source`
};

}  // namespace packager::xml
