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

// $TMPDIR when set, else /tmp/ebookpack-<uid>, created 0700. Nothing when the
// folder is a symbolic link, not a folder, missing, or owned by another user;
// $TMPDIR may also be a sticky folder owned by root, such as /tmp.
std::optional<fs::path> userTempFolder();

// True when `folder` itself (not a link to it) is a folder owned by the user:
// the test a workspace root must pass before anything is put in it.
bool isPrivateFolder(const fs::path& folder);

// NUL-terminated UTF-16 to UTF-8; a lone surrogate becomes U+FFFD and a null
// pointer gives an empty string.
std::string utf16ToUtf8(const std::uint16_t* text);

std::u16string utf8ToUtf16(const std::string& text);

}  // namespace packager::platform
