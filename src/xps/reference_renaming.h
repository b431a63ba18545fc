#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace packager::xps {

// The folder of the package whose images are recompressed.
inline constexpr std::string_view resourcesFolder = "Resources";

// Renames references to images of the top-level Resources folder; `renamed`
// maps old bare file names to new ones. Only whole references are touched:
// "Resources/<old>" reached from the package root ("/Resources/a.tif"),
// relatively ("../../../Resources/a.tif") or bare, and followed by a character
// that cannot continue a part name. Names are compared as package readers
// compare part names: letters in any case, percent-escapes decoded, so
// "/resources/A%2Etif" names a.tif too; the reference keeps its own spelling of
// what the old and new names share. Renaming a.tif leaves "a.tiff", "xa.tif"
// and "/Documents/1/Resources/a.tif" alone. When one old name starts another,
// the longer one wins; replaced text is not scanned again.
std::string renameReferences(std::string_view text, const std::map<std::string, std::string>& renamed);

// The names among `candidates` (bare file names in Resources) that a part
// would still mention once renameReferences() had renamed them all: names
// relative to Resources itself, or in a deeper folder of that name. Converting
// such an image could leave the part pointing at a missing one, so every doubt
// counts as a mention: a part that could not be read (nullopt) mentions every
// candidate, and one in no recognised encoding every candidate whose name
// occurs in its bytes in any case, as UTF-8 or UTF-16, and every one whose
// name is more than letters, digits, ".", "_" and "-".
std::set<std::string> mentionsLeftByRenaming(const std::optional<std::string>& part, const std::set<std::string>& candidates);

}  // namespace packager::xps
