#pragma once

#include <map>
#include <string>

namespace packager::xps {

// Extension -> content type of every kind of file the Blio packager may add to
// an XPS package. Extensions match exactly, case included.
std::map<std::string, std::string> defaultFileTypes();

}  // namespace packager::xps
