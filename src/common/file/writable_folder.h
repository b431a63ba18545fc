#pragma once

#include <filesystem>

namespace packager {

// Proves a destination folder writable by creating a file in it. Missing
// parents are created on the way and stay, as the host expects; an empty path
// stands for the working folder. The probe file has no name (a hidden folder
// stands in where the file system has no unnamed files), so a process killed
// mid-probe leaves nothing in a folder that belongs to the user, and an item
// of any name already there is left alone.
bool isWritableFolder(const std::filesystem::path& folder);

}  // namespace packager
