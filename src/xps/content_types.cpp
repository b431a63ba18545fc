#include "xps/content_types.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <system_error>

#include "common/file/file_io.h"
#include "common/text/ascii_case.h"
#include "common/xml/xml.h"
#include "xps/part_names.h"
#include "xps/reference_renaming.h"
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

// The elements of `declarations`, as markup to go inside the package's own
// document, whose root declares their namespace.
std::string declarationElements(const std::vector<Declaration>& declarations) {
    xml::Document wrapper = xml::Document::create(typesElement);
    wrapper.root().addNamespace("", contentTypesNamespace);
    std::string elements;
    for (const Declaration& declaration : declarations) {
        const bool byExtension = declaration.kind == Declaration::Kind::extension;
        xml::Element element = wrapper.root().addChild(byExtension ? "Default" : "Override");
        element.setAttribute(byExtension ? "Extension" : "PartName", declaration.name);
        element.setAttribute("ContentType", declaration.contentType);
        elements += element.markup();
    }
    return elements;
}

// A document as the files that hold it store it: their texts, in UTF-8,
// joined in order, and where each one's text ends.
struct StoredDocument {
    std::string text;
    std::vector<std::size_t> ends;
    Encoding encoding = Encoding::utf8;
    bool byteOrderMark = false;  // the first file's
};

// nullopt when a file cannot be read or is not in the encoding the first
// one announces.
std::optional<StoredDocument> readStoredDocument(const std::vector<fs::path>& files) {
    StoredDocument stored;
    for (const fs::path& file : files) {
        std::optional<std::string> bytes = readFile(file);
        if (!bytes) return std::nullopt;
        // Only the first piece can carry the byte-order mark; the others are
        // read as if they did too.
        const bool first = stored.ends.empty();
        if (!first) bytes->insert(0, encodeText("", stored.encoding, true));
        std::optional<DecodedText> decoded = decodeText(*bytes);
        if (!decoded || (!first && decoded->encoding != stored.encoding)) return std::nullopt;
        if (first) {
            stored.encoding = decoded->encoding;
            stored.byteOrderMark = decoded->byteOrderMark;
        }
        stored.text += decoded->text;
        stored.ends.push_back(stored.text.size());
    }
    return stored;
}

// Makes `edit` to the document `files` hold and writes back atomically, each
// in the document's encoding, those whose text it changed. Returns them: none
// when the document cannot be read or parsed or `edit` fails; nullopt when a
// file could not be written.
std::optional<std::vector<fs::path>> editDocument(const std::vector<fs::path>& files,
                                                  const std::function<bool(xml::EditableDocument&)>& edit) {
    std::optional<StoredDocument> stored = readStoredDocument(files);
    if (!stored) return std::vector<fs::path>{};
    std::optional<xml::EditableDocument> document = xml::EditableDocument::parse(stored->text);
    if (!document || !edit(*document)) return std::vector<fs::path>{};
    std::vector<fs::path> rewritten;
    for (std::size_t i = 0, begin = 0; i < files.size(); begin = stored->ends[i++]) {
        const std::string text = document->editedText(begin, stored->ends[i]);
        if (stored->text.compare(begin, stored->ends[i] - begin, text) == 0) continue;
        if (!writeFileAtomically(files[i], encodeText(text, stored->encoding, i == 0 && stored->byteOrderMark)))
            return std::nullopt;
        rewritten.push_back(files[i]);
    }
    return rewritten;
}

// The document's one file, or its pieces in order.
std::vector<fs::path> filesOf(const fs::path& staged) {
    return isFolder(staged) ? piecesInOrder(staged) : std::vector<fs::path>{staged};
}

// The edits retypeImages() describes.
void retype(xml::EditableDocument& document, const ImageRetyping& retyping) {
    std::set<std::string> convertedParts;
    for (const auto& [oldName, newName] : retyping.renamed)
        convertedParts.insert(comparablePartName("/" + std::string(resourcesFolder) + "/" + newName));
    for (const xml::Element& element : document.root().children()) {
        if (element.name() == "Override") {
            const std::optional<std::string> part = element.attribute("PartName");
            if (!part) continue;
            const std::string renamed = renameReferences(*part, retyping.renamed);
            if (renamed != *part) document.setAttribute(element, "PartName", renamed);
            if (!convertedParts.contains(comparablePartName(renamed))) continue;
        } else if (element.name() == "Default") {
            const std::optional<std::string> extension = element.attribute("Extension");
            if (!extension || retyping.tiffExtensions.contains(lowerCased(*extension))) continue;
        } else {
            continue;
        }
        if (lowerCased(element.attribute("ContentType").value_or("")) == tiffContentType)
            document.setAttribute(element, "ContentType", retyping.contentType);
    }
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
    std::string document;
    for (const fs::path& file : filesOf(staged)) {
        std::optional<std::string> bytes = readFile(file);
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

std::optional<std::vector<std::string>> retypeImages(const fs::path& staged, const ImageRetyping& retyping) {
    const std::optional<std::vector<fs::path>> rewritten = editDocument(filesOf(staged), [&](xml::EditableDocument& document) {
        retype(document, retyping);
        return true;
    });
    if (!rewritten) return std::nullopt;
    std::vector<std::string> names;
    for (const fs::path& file : *rewritten)
        names.push_back(file == staged ? file.filename().string() : (staged.filename() / file.filename()).generic_string());
    return names;
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
    const std::string elements = declarationElements(declarations);
    const std::optional<std::vector<fs::path>> rewritten = editDocument(
        {file}, [&](xml::EditableDocument& document) { return document.insertBeforeRootEnd(elements); });
    return rewritten && !rewritten->empty();
}

}  // namespace packager::xps
