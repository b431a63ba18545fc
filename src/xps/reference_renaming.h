#pragma once

#include <map>
#include <string>
#include <string_view>

namespace packager::xps {

// The folder of the package whose images are recompressed.
inline constexpr std::string_view resourcesFolder = "Resources";

// Renames references to images of the top-level Resources folder; `renamed`
// maps old bare file names to new ones. Only whole references are touched:
// "Resources/<old>" reached from the package root ("/Resources/a.tif"),
// relatively ("../../../Resources/a.tif") or bare, and followed by a character
// that cannot continue a part name. So renaming a.tif leaves "a.tiff",
// "xa.tif" and "/Documents/1/Resources/a.tif" alone. When one old name starts
// another, the longer one wins; replaced text is not scanned again.
std::string renameReferences(std::string_view text, const std::map<std::string, std::string>& renamed);

}  // namespace packager::xps
