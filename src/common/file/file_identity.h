#pragma once

#include <filesystem>

namespace packager {

// Whether two paths name one file or folder, decided by the file system
// (device and inode, links followed), never by comparing names: "Exp" and
// "exp" are one folder only where the file system folds case. An empty path
// leads nowhere.

// False when either path leads nowhere.
bool isSameFileSystemObject(const std::filesystem::path& left, const std::filesystem::path& right);

// Whether `name` itself (a link is not followed) is the file open as
// `descriptor`: false once the name was removed or given to another file.
bool namesOpenFile(const std::filesystem::path& name, int descriptor);

// True when a folder holding `path`, at any depth above it, is `folder`;
// `path` need not exist yet.
bool liesBelow(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace packager
