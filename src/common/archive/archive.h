#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace packager::archive {

namespace fs = std::filesystem;

struct Entry {
    std::string name;  // name inside the archive, "/"-separated
    fs::path file;     // file on disk that supplies the bytes
};

// Writes a new archive holding exactly `entries`, in that order, every entry
// stored (no compression), without extra fields or folder entries, so the
// first entry's data starts at offset 30 + its name's length. Names are
// written as given; an empty name, a name ending in "/" or a repeated name
// fails. The file data is streamed, never held in memory.
//
// The archive is built as an unnamed file beside `archive` (a hidden temporary
// file where the file system has none) and renamed over it only when
// complete: on failure, or when the process is killed, `archive` keeps its old
// content and nothing else is left. The new file's mode is 0666 less the
// umask. An empty list gives an empty archive.
bool writeStoredArchive(const fs::path& archive, const std::vector<Entry>& entries);

// The entries an operation takes: those named exactly, and those whose names
// start with one of the prefixes (a folder's entries: "Resources/").
struct EntrySelection {
    std::vector<std::string> names;
    std::vector<std::string> prefixes = {};

    bool contains(std::string_view name) const;
};

// True when `name` may be extracted below a folder: relative, no ".." component,
// no backslash, not empty.
bool isSafeEntryName(std::string_view name);

// An existing archive opened for reading and updating. Changes are staged and
// only reach the disk through commit(); destroying the object without
// commit() leaves the file as it was. Not for use from several threads at once.
class Archive {
public:
    // Fails for a missing, empty, truncated or non-zip file, which is left
    // untouched either way.
    static std::optional<Archive> open(const fs::path& file);

    Archive(Archive&&) noexcept;
    Archive& operator=(Archive&&) noexcept;
    ~Archive();

    // Entry names in archive order (folder entries included, as stored),
    // reflecting remove() and addFile() calls not yet committed.
    std::vector<std::string> entryNames() const;

    // The uncompressed size an entry declares; nothing when there is no such
    // entry or it declares none.
    std::optional<std::uint64_t> declaredSize(std::string_view name) const;

    // The bytes of one entry as it is on disk: an entry added or replaced
    // since open() cannot be read before commit(). Fails for entries that
    // extract() would skip as too large, for corrupt data, and for entries
    // over 128 MiB, which only extract() takes, so that memory stays bounded.
    std::optional<std::string> read(std::string_view name) const;

    // Extracts every selected file entry below `folder`
    // (created if needed), overwriting existing files, and returns the names
    // extracted. Skipped, while the rest go on: names isSafeEntryName()
    // refuses; entries that decompress to more than 1 GiB or 1000 times their
    // compressed size, or past their declared size; entries whose path inside
    // `folder` runs through a symbolic link or a file. Each file is written
    // to a ".extract-<pid>-<n>" file beside it and renamed into
    // place, so a link already at the destination is replaced, never
    // written through, and a failed entry leaves nothing behind.
    std::vector<std::string> extract(const EntrySelection& selection, const fs::path& folder) const;

    // Marks every selected entry for deletion.
    void remove(const EntrySelection& selection);

    // Adds `file` as a stored entry, replacing an entry of that name in place;
    // a new name (including one just removed) goes after the existing
    // entries, in the order of the calls. Fails when `file` cannot be read
    // now; it is read again, in chunks, by commit().
    bool addFile(std::string_view name, const fs::path& file);

    // Writes the staged changes to an unnamed file beside the archive and
    // renames it over the original, so the original is either untouched or
    // fully updated, and a killed process leaves no temporary file behind.
    // Unchanged entries are copied without recompressing; the file's mode is
    // kept. Fails, leaving the original as it was, when a file to add has
    // become unreadable or when no entry would remain. Success or not, the
    // archive is closed afterwards: further calls fail or return nothing.
    bool commit();

private:
    struct Close {  // discards staged changes; never commits
        void operator()(zip* archive) const;
    };
    explicit Archive(zip* handle);
    std::unique_ptr<zip, Close> handle;
};

}  // namespace packager::archive
