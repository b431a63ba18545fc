#pragma once

#include <map>
#include <string>
#include <string_view>

namespace packager::xps {

// Extension -> content type of every kind of file the Blio packager may add to
// an XPS package. Extensions match exactly, case included.
std::map<std::string, std::string> defaultFileTypes();

// The content type declared for parts of `extension` that the update brings
// into a package, so that none is left without one: the default file type's,
// the extension compared without regard to case as package readers compare
// it; relationships' for "rels"; the type of arbitrary bytes for the rest.
std::string contentTypeForExtension(std::string_view extension);

}  // namespace packager::xps
