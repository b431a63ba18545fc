#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace packager::platform {

namespace fs = std::filesystem;

// The resource bundle: the folder holding the loaded library (or the program,
// for code linked statically), with Resources/ inside it.
std::optional<fs::path> bundleFolder();

// $TMPDIR when set, else /tmp/ebookpack-<uid>, created 0700 and refused unless
// it is a real folder owned by the user.
std::optional<fs::path> userTempFolder();

// NUL-terminated UTF-16 to UTF-8; a lone surrogate becomes U+FFFD and a null
// pointer gives an empty string.
std::string utf16ToUtf8(const std::uint16_t* text);

std::u16string utf8ToUtf16(const std::string& text);

}  // namespace packager::platform
