#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/file/destination_folder.h"

namespace packager {

// A file a packager needs in the library's resource bundle, besides the
// templates folder, and the result code for its absence.
struct BundleFile {
    std::string_view path;  // relative to the bundle folder
    std::uint32_t missingCode;
};

std::filesystem::path templatesFolder(const std::filesystem::path& bundle);

// The bundle checks, in the order the host's contract gives them: the bundle
// itself (8, when there is none), each of `files`, the templates folder (7).
// 0 when everything is there.
std::uint32_t checkBundle(const std::optional<std::filesystem::path>& bundle, std::span<const BundleFile> files = {});

// What both entry points check before they look inside the export, in the
// contract's order: checkBundle, the destination (1: see prepareDelivery, for
// a package with `extension`), the source being a folder (5). `delivery` is
// set when `code` is 0.
struct CheckedRun {
    std::uint32_t code;
    std::optional<Delivery> delivery;
};
CheckedRun checkRun(const std::string& source, const std::string& destination, std::string_view extension,
                    const std::optional<std::filesystem::path>& bundle, std::span<const BundleFile> files = {});

}  // namespace packager
