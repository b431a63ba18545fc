#include <algorithm>

#include "common/xml/libxml_support.h"
#include "common/xml/xml.h"

namespace packager::xml {

using namespace detail;

namespace {

constexpr std::string_view whitespace = " \t\r\n";

struct TagPositions : TagObserver {
    std::map<const xmlNode*, std::size_t> startTagEnds;
    std::size_t rootEnd = 0;

    void startTag(const xmlNode* element, std::size_t tagEnd) override { startTagEnds[element] = tagEnd; }
    void endTag(const xmlNode* element, std::size_t elementEnd) override {
        if (element->parent != nullptr && element->parent->type == XML_DOCUMENT_NODE) rootEnd = elementEnd;
    }
};

struct Span {
    std::size_t offset;
    std::size_t length;
};

// Where the value of attribute `name` is written in `tag`, a start tag up to
// (not including) its ">" or "/>": the bytes between its quotes. The parser
// found the tag well-formed, so every value is quoted and holds no quote of
// its own kind.
std::optional<Span> valueIn(std::string_view tag, std::string_view name) {
    std::size_t at = tag.find_first_of(whitespace);  // past the element's name
    while (at < tag.size() && (at = tag.find_first_not_of(whitespace, at)) != std::string_view::npos) {
        const std::size_t equals = tag.find('=', at);
        const std::size_t open = tag.find_first_of("\"'", equals);
        if (open == std::string_view::npos) return std::nullopt;
        const std::size_t close = tag.find(tag[open], open + 1);
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view written = tag.substr(at, equals - at);
        written = written.substr(0, written.find_last_not_of(whitespace) + 1);
        if (written == name) return Span{open + 1, close - open - 1};
        at = close + 1;
    }
    return std::nullopt;
}

// `value` escaped as the serializer escapes attribute values, which it puts
// between double quotes, and so that it can stand between `quote`s too.
std::string escapedValue(std::string_view value, char quote) {
    std::string escaped;
    for (char c : xmlCharacters(value)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\t': escaped += "&#9;"; break;
        case '\n': escaped += "&#10;"; break;
        case '\r': escaped += "&#13;"; break;
        case '\'': escaped += quote == '\'' ? "&apos;" : "'"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::optional<EditableDocument> EditableDocument::parse(std::string text) {
    TagPositions positions;
    DocPtr doc = parseTree(text, Parse::Strict, XML_PARSE_IGNORE_ENC, "", nullptr, &positions);
    if (!doc) return std::nullopt;
    EditableDocument editable(Document(doc.release()), std::move(text));
    editable.startTagEnds = std::move(positions.startTagEnds);
    editable.rootEnd = positions.rootEnd;
    return editable;
}

bool EditableDocument::setAttribute(const Element& element, std::string_view name, std::string_view value) {
    const auto tagEnd = startTagEnds.find(element.raw());
    if (tagEnd == startTagEnds.end()) return false;
    // A start tag holds no "<" but its first.
    const std::size_t tagStart = source.rfind('<', tagEnd->second);
    if (tagStart == std::string::npos) return false;
    const std::string_view tag = std::string_view(source).substr(tagStart, tagEnd->second - tagStart);
    if (tag.substr(1, tag.find_first_of(whitespace) - 1) != element.name()) return false;
    const std::optional<Span> span = valueIn(tag, name);
    if (!span) return false;
    const std::size_t offset = tagStart + span->offset;
    edits[offset] = {span->length, escapedValue(value, source[offset - 1])};
    return true;
}

bool EditableDocument::insertBeforeRootEnd(std::string_view markup) {
    // An end tag holds no "<" but its first.
    const std::size_t endTag = rootEnd == 0 ? std::string::npos : source.rfind('<', rootEnd - 1);
    if (endTag == std::string::npos || source.compare(endTag, 2, "</") != 0) return false;
    edits[endTag].markup += markup;
    return true;
}

std::string EditableDocument::editedText(std::size_t begin, std::size_t end) const {
    end = std::min(end, source.size());
    begin = std::min(begin, end);
    std::string text;
    std::size_t at = begin;
    for (const auto& [offset, edit] : edits) {
        const std::size_t from = std::clamp(offset, begin, end), to = std::clamp(offset + edit.length, begin, end);
        text.append(source, at, from - at);
        if (offset >= begin && offset < end) text += edit.markup;
        at = std::max(at, to);
    }
    text.append(source, at, end - at);
    return text;
}

}  // namespace packager::xml
