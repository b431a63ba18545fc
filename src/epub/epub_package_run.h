#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "ebookpackager.h"

namespace packager {

// createEPubPackage with the library's bundle folder given, for callers that
// are not the loaded plug-in (tests); none stands for a bundle not found.
std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options,
                                const std::optional<std::filesystem::path>& bundle);

}  // namespace packager
