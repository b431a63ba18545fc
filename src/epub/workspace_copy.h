#pragma once

#include <filesystem>

#include "epub/book_files.h"

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

// placeFile for a file the book carries when the export has one it may take.
// `inBook` is relative to the OEBPS folder `oebps` and joins `placed` once
// the file is there. A file placeFile refuses (missing, a link, not a regular
// file, a name that is not UTF-8) is only left out of the book; false when it
// could not be written.
bool placeIfEligible(const fs::path& from, const fs::path& oebps, const fs::path& inBook, BookFiles& placed);

// placeIfEligible for every file below `from`, recreating its folders below
// `inBook`. Symbolic links, special files and names that are not UTF-8 are
// left out, and so is everything when `from` is not a folder or is itself a
// link. False when a file or folder could not be written.
bool placeTree(const fs::path& from, const fs::path& oebps, const fs::path& inBook, BookFiles& placed);

}  // namespace packager
