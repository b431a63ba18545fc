#pragma once

#include <filesystem>

namespace packager {

namespace fs = std::filesystem;

// Puts a file of the export into the run's workspace as cheaply as the file
// system allows (linkOrCopyFile): a hard link, else a copy, which the kernel
// makes copy-on-write where the file system can.
// A link shares the export's file, so every later change to a workspace file
// must replace it by rename (as writeFileAtomically and Document::save do) and
// never write into it. An existing item at `to` is replaced. A symbolic link
// at `from`, or a name at `to` that is not UTF-8, is refused.
bool placeFile(const fs::path& from, const fs::path& to);

// placeFile for a file the book carries when the export has one it may take:
// true when it was placed, and when placeFile refuses it (missing, a link, not
// a regular file, a name that is not UTF-8), which only leaves it out of the
// book; false when it could not be written.
bool placeIfEligible(const fs::path& from, const fs::path& to);

// placeFile for every file below `from`, recreating its folders below `to`.
// Symbolic links, special files and names that are not UTF-8 are left out,
// and so is everything when `from` is not a folder or is itself a link. True
// when every other file was placed.
bool placeTree(const fs::path& from, const fs::path& to);

}  // namespace packager
