#pragma once

#include <cstdint>
#include <string>

#include "ebookpackager.h"

namespace packager {

// The whole ePub run behind CreateEPubPackage: paths already converted to UTF-8.
std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options);

}  // namespace packager
