#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace packager {

// createBlioPackage with the library's bundle folder given, for callers that
// are not the loaded plug-in (tests); none stands for a bundle not found.
std::uint32_t createBlioPackage(const std::string& source, const std::string& destination,
                                const std::optional<std::filesystem::path>& bundle);

}  // namespace packager
