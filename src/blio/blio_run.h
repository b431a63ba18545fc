#pragma once

#include <cstdint>
#include <string>

namespace packager {

// The whole Blio run behind CreateBlioPackage: paths already converted to UTF-8.
std::uint32_t createBlioPackage(const std::string& source, const std::string& destination);

}  // namespace packager
