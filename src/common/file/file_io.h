#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace packager {

namespace fs = std::filesystem;

// Whole-file reads and writes, and ordered folder walks. File names are taken
// as the bytes they are: nothing here assumes they are UTF-8.

// The bytes of a regular file (a link to one is followed); nullopt for anything
// else, so a FIFO or a folder never blocks or half-reads.
std::optional<std::string> readFile(const fs::path& file);

// The permission bits of `file` (a link to one is followed); none when it cannot be looked at.
std::optional<mode_t> permissionsOf(const fs::path& file);

// Writes to a temporary file in the same folder and renames it over `file`, so
// a failed or killed write never leaves a truncated file behind; on failure the
// temporary file is removed and `file` is as it was. The result is a new file
// with the permission bits given, or default ones; a link at `file` is
// replaced, not followed. The data is not synced to disk.
bool writeFileAtomically(const fs::path& file, std::string_view bytes,
                         std::optional<mode_t> permissions = std::nullopt);

// Copies the regular file `from` (a link to one is followed) to a temporary
// name beside `to`, then renames it into place: a failed copy leaves `to` as it
// was and nothing partial beside it. The copy keeps the permission bits of
// `from`. Anything but a regular file is refused without blocking.
bool copyFileAtomically(const fs::path& from, const fs::path& to);

// Gives the new name `to` the contents of the regular file `from` as a second
// link to the same file where the file system allows, else as
// copyFileAtomically does. Only for files that are read, never written, once
// placed: a change made through one name would show through the other.
bool linkOrCopyFile(const fs::path& from, const fs::path& to);

// Direct entries of a folder (links and special files included, for the caller
// to judge with isPlainFile or isPlainFolder), sorted by name; empty when it
// cannot be listed. A `folder` that is a link is followed.
std::vector<fs::path> listFolder(const fs::path& folder);

// Every regular file and folder below `folder`, as paths relative to it, each
// folder before its contents and names sorted (bytewise) within a folder.
// Links, FIFOs, sockets and devices are left out, so a walk never leaves the
// tree, loops, or hands a caller something that blocks when opened. A `folder`
// that is itself a link is not walked: whatever it leads to is not the tree
// the caller holds. A subfolder that cannot be listed still appears, without
// its contents.
std::vector<fs::path> walkFolder(const fs::path& folder);

// As walkFolder, but nullopt when any folder of the tree cannot be listed, or
// `folder` is a link: for callers that must not silently miss part of the
// tree (a folder copy).
std::optional<std::vector<fs::path>> walkWholeFolder(const fs::path& folder);

// Lexical clean-up, no file-system access: a leading "~" or "~/" becomes $HOME
// (the password database's home when $HOME is unset; "~user" is left alone);
// "." and ".." are resolved ("/.." is "/", a relative path keeps its leading
// ".."); redundant and trailing separators are removed. Relative paths stay
// relative, and an empty path stays empty. Links are not resolved, so "link/.."
// is the folder holding the link.
fs::path standardizePath(const std::string& path);

bool isFolder(const fs::path& path);  // follows links

// A regular file itself, not a link to one: what a run may take from an
// export, where a link could lead to any file of the user's.
bool isPlainFile(const fs::path& path);

// A folder itself, not a link to one: what a run may list or walk in an export.
bool isPlainFolder(const fs::path& path);

// True when anything is at `path`, a dangling link included. An object rather
// than a function: as a function, an unqualified exists(path) would be
// ambiguous with std::filesystem::exists, which argument-dependent lookup finds
// through fs::path; an object found by ordinary lookup switches that off.
inline constexpr struct Exists {
    bool operator()(const fs::path& path) const;
} exists{};

}  // namespace packager
