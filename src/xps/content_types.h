#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace packager::xps {

namespace fs = std::filesystem;

// The part that maps part names and extensions to content types. XPS writers
// store it as one entry or interleaved: a folder of pieces "[0].piece",
// "[1].piece", ... "[N].last.piece" that, joined in number order, form the
// document.
inline constexpr std::string_view contentTypesName = "[Content_Types].xml";

// The piece number: the name with every non-digit cut from both ends, so 3
// for "[3].last.piece"; 0 when no digit remains.
unsigned pieceNumber(std::string_view pieceName);

// The pieces staged in `folder`, in piece-number order.
std::vector<fs::path> piecesInOrder(const fs::path& folder);

// The bytes of the whole document: the file itself, or its pieces joined.
std::optional<std::string> readContentTypes(const fs::path& staged);

// One element to add to a content-types document: a Default for an
// extension, or an Override for a part whose name has none.
struct Declaration {
    enum class Kind { extension, part } kind = Kind::extension;
    std::string name;  // "jpg", or the part name "/Documents/1/Other/KNFB/README"
    std::string contentType;
};

// What a content-types document declares, as package readers compare them:
// extensions lower-cased, part names by comparablePartName().
struct Declarations {
    std::set<std::string> defaultExtensions;
    std::set<std::string> overriddenParts;
};
Declarations readDeclarations(std::string_view document);

// How converted TIFF images are to be declared.
struct ImageRetyping {
    std::string contentType;                // "image/jpeg" or "image/png"
    std::set<std::string> convertedParts;   // new part names, by comparablePartName() ("/resources/a.jpg")
    std::set<std::string> tiffExtensions;   // lower-cased extensions of TIFF parts left as they were
};

// Gives the Override of each converted part (already renamed) the new content
// type, and so the Default of each TIFF extension that no TIFF part uses any
// more. Everything else, uncovertible TIFFs' declarations included, is kept.
std::string retypeImages(std::string_view text, const ImageRetyping& retyping);

// Interleaved form: the last piece "[n].last.piece" becomes "[n+1].last.piece"
// and a new "[n].piece" holds the elements of `declarations`, in the encoding
// of the document (without a byte-order mark). Returns the names of the
// pieces written, or nothing when there is no last piece.
std::vector<std::string> insertDeclarationsPiece(const fs::path& folder, const std::vector<Declaration>& declarations);

// Single-entry form: puts the elements of `declarations` before the root's end
// tag and saves the file atomically, in its own encoding; its byte-order mark,
// declaration and everything else stay as they were. False, leaving the file
// as it was, when it is not well-formed or cannot be written.
bool appendDeclarations(const fs::path& file, const std::vector<Declaration>& declarations);

}  // namespace packager::xps
