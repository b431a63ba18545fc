#pragma once

#include <filesystem>

namespace packager {

// Proves a destination folder writable by making a folder in it and removing
// it again. Missing parents are created on the way and stay, as the host
// expects; an empty path stands for the working folder. An item that already
// carries the probe's name is someone else's and is left alone.
bool isWritableFolder(const std::filesystem::path& folder);

}  // namespace packager
