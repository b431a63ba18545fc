#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
    std::string contentType;                     // "image/jpeg" or "image/png"
    std::map<std::string, std::string> renamed;  // bare names in Resources, old to new, as renameReferences() takes them
    std::set<std::string> tiffExtensions;        // lower-cased extensions of TIFF parts left as they were
};

// In the staged document `staged` (the file or its folder of pieces), gives
// the Override of each converted part its new name and, when it declares
// image/tiff, its new type, and so the Default of each TIFF extension that no
// TIFF part uses any more. Everything else, unconvertible TIFFs' declarations
// included, is kept byte for byte. A document that is not well-formed, or in
// no recognised encoding, is left as it is. Returns the names, relative to
// the folder holding `staged`, of the files rewritten; nullopt when one could
// not be written.
std::optional<std::vector<std::string>> retypeImages(const fs::path& staged, const ImageRetyping& retyping);

// Interleaved form: the last piece "[n].last.piece" becomes "[n+1].last.piece"
// and a new "[n].piece" holds the elements of `declarations`, in the encoding
// of the document (without a byte-order mark). Returns the names of the
// pieces written, or nothing when there is no last piece.
std::vector<std::string> insertDeclarationsPiece(const fs::path& folder, const std::vector<Declaration>& declarations);

// Single-entry form: puts the elements of `declarations` before the root's end
// tag and saves the file atomically, in its own encoding; its byte-order mark,
// declaration and everything else stay as they were. False, leaving the file
// as it was, when it is not well-formed, in no recognised encoding, or cannot
// be written.
bool appendDeclarations(const fs::path& file, const std::vector<Declaration>& declarations);

}  // namespace packager::xps
