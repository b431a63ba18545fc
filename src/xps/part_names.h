#pragma once

#include <string>
#include <string_view>

namespace packager::xps {

// Part names in markup and in the archive may be percent-encoded ("a%20b.tif"
// for "a b.tif"); this decodes every well-formed escape and keeps the rest.
std::string percentDecoded(std::string_view text);

// A part name as package readers compare it: escapes decoded, lower-cased.
std::string comparablePartName(std::string_view partName);

// The lower-cased extension of an entry name, without its dot ("" for none).
std::string lowerExtension(std::string_view entryName);

}  // namespace packager::xps
