#include "xps/content_types.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "common/file/file_io.h"
#include "common/text/ascii_case.h"
#include "common/xml/xml.h"
#include "xps/part_names.h"
#include "xps/text_encoding.h"

namespace packager::xps {

namespace {

constexpr std::string_view lastPieceSuffix = "last.piece";
constexpr std::string_view tiffContentType = "image/tiff";
constexpr std::string_view typesElement = "Types";
constexpr std::string_view contentTypesNamespace = "http://schemas.openxmlformats.org/package/2006/content-types";

std::string pieceName(unsigned number, bool last) {
    return "[" + std::to_string(number) + "]." + (last ? std::string(lastPieceSuffix) : "piece");
}

// The value of attribute `name` inside one start tag, quoted either way.
std::optional<std::string_view> attributeValue(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))) continue;
        std::size_t cursor = at + name.size();
        while (cursor < tag.size() && std::isspace(static_cast<unsigned char>(tag[cursor]))) ++cursor;
        if (cursor >= tag.size() || tag[cursor] != '=') continue;
        ++cursor;
        while (cursor < tag.size() && std::isspace(static_cast<unsigned char>(tag[cursor]))) ++cursor;
        if (cursor >= tag.size() || (tag[cursor] != '"' && tag[cursor] != '\'')) continue;
        const std::size_t end = tag.find(tag[cursor], cursor + 1);
        if (end == std::string_view::npos) return std::nullopt;
        return tag.substr(cursor + 1, end - cursor - 1);
    }
    return std::nullopt;
}

bool opensElement(std::string_view text, std::size_t at, std::string_view name) {
    if (text.substr(at + 1, name.size()) != name) return false;
    const std::size_t after = at + 1 + name.size();
    return after < text.size() && (std::isspace(static_cast<unsigned char>(text[after])) || text[after] == '/');
}

bool declaresConvertedImage(std::string_view text, std::size_t at, std::string_view tag, const ImageRetyping& retyping) {
    if (opensElement(text, at, "Override")) {
        std::optional<std::string_view> part = attributeValue(tag, "PartName");
        return part && retyping.convertedParts.contains(comparablePartName(*part));
    }
    if (opensElement(text, at, "Default")) {
        std::optional<std::string_view> extension = attributeValue(tag, "Extension");
        return extension && !retyping.tiffExtensions.contains(lowerCased(*extension));
    }
    return false;
}

// The elements of `declarations`, as markup to go inside the package's own
// document: the XML layer writes them as the children of a wrapper root, and
// the fragment between its tags is taken.
std::string declarationElements(const std::vector<Declaration>& declarations) {
    xml::Document wrapper = xml::Document::create(typesElement);
    wrapper.root().addNamespace("", contentTypesNamespace);
    for (const Declaration& declaration : declarations) {
        const bool byExtension = declaration.kind == Declaration::Kind::extension;
        xml::Element element = wrapper.root().addChild(byExtension ? "Default" : "Override");
        element.setAttribute(byExtension ? "Extension" : "PartName", declaration.name);
        element.setAttribute("ContentType", declaration.contentType);
    }
    const std::string text = wrapper.serialize({.declareEncoding = false, .pretty = false});
    const std::size_t start = text.find('>', text.find("<" + std::string(typesElement)));
    const std::size_t end = text.rfind("</");
    if (start == std::string::npos || end == std::string::npos || end < start) return {};
    return text.substr(start + 1, end - start - 1);
}

}  // namespace

unsigned pieceNumber(std::string_view pieceName) {
    const std::size_t first = pieceName.find_first_of("0123456789");
    if (first == std::string_view::npos) return 0;
    const std::size_t last = pieceName.find_last_of("0123456789");
    unsigned number = 0;
    for (char c : pieceName.substr(first, last - first + 1)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

std::vector<fs::path> piecesInOrder(const fs::path& folder) {
    std::vector<fs::path> pieces;
    for (const fs::path& piece : listFolder(folder))
        if (!isFolder(piece)) pieces.push_back(piece);
    std::ranges::stable_sort(pieces, {}, [](const fs::path& piece) { return pieceNumber(piece.filename().string()); });
    return pieces;
}

std::optional<std::string> readContentTypes(const fs::path& staged) {
    if (!isFolder(staged)) return readFile(staged);
    std::string document;
    for (const fs::path& piece : piecesInOrder(staged)) {
        std::optional<std::string> bytes = readFile(piece);
        if (!bytes) return std::nullopt;
        document += *bytes;
    }
    return document;
}

Declarations readDeclarations(std::string_view document) {
    Declarations declarations;
    std::optional<xml::Document> parsed = xml::Document::parseMemory(document, xml::Parse::Recover);
    if (!parsed) return declarations;
    for (const xml::Element& element : parsed->root().children()) {
        if (element.name() == "Default") {
            if (auto extension = element.attribute("Extension")) declarations.defaultExtensions.insert(lowerCased(*extension));
        } else if (element.name() == "Override") {
            if (auto part = element.attribute("PartName")) declarations.overriddenParts.insert(comparablePartName(*part));
        }
    }
    return declarations;
}

std::string retypeImages(std::string_view text, const ImageRetyping& retyping) {
    std::string result;
    result.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const std::size_t end = text.find('>', at);
        if (end == std::string_view::npos) break;
        const std::string_view tag = text.substr(at, end - at + 1);
        if (!declaresConvertedImage(text, at, tag, retyping)) continue;
        const std::size_t type = tag.find(tiffContentType);
        if (type == std::string_view::npos) continue;
        result.append(text.substr(done, at + type - done));
        result.append(retyping.contentType);
        done = at + type + tiffContentType.size();
    }
    result.append(text.substr(done));
    return result;
}

std::vector<std::string> insertDeclarationsPiece(const fs::path& folder, const std::vector<Declaration>& declarations) {
    std::vector<fs::path> pieces = piecesInOrder(folder);
    auto last = std::ranges::find_if(pieces, [](const fs::path& piece) {
        return lowerCased(piece.filename().string()).find(lastPieceSuffix) != std::string::npos;
    });
    if (last == pieces.end()) return {};

    Encoding encoding = Encoding::utf8;
    if (std::optional<std::string> first = readFile(pieces.front()))
        if (std::optional<DecodedText> decoded = decodeText(*first)) encoding = decoded->encoding;

    const std::string elements = declarationElements(declarations);
    if (elements.empty()) return {};

    const unsigned number = pieceNumber(last->filename().string());
    const fs::path renamedLast = folder / pieceName(number + 1, true);
    const fs::path newPiece = folder / pieceName(number, false);
    // The new piece takes the last piece's number, so it is written first: a
    // failure part-way then leaves the old pieces as they were.
    if (!writeFileAtomically(newPiece, encodeText(elements, encoding, false))) return {};
    std::error_code error;
    fs::rename(*last, renamedLast, error);
    if (error) {
        fs::remove(newPiece, error);
        return {};
    }
    return {newPiece.filename().string(), renamedLast.filename().string()};
}

bool appendDeclarations(const fs::path& file, const std::vector<Declaration>& declarations) {
    std::optional<xml::Document> document = xml::Document::parseFile(file);
    const std::string elements = declarationElements(declarations);
    if (!document || elements.empty()) return false;
    const std::string rootEnd = "</" + document->root().name();
    bool placed = false;
    const EditOutcome outcome = editText(file, [&](std::string_view text) {
        std::string edited(text);
        const std::size_t end = edited.rfind(rootEnd);
        if (end == std::string::npos) return edited;
        placed = true;
        return edited.insert(end, elements);
    });
    return placed && outcome == EditOutcome::rewritten;
}

}  // namespace packager::xps
