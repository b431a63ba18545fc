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
// stored (no compression), without extra fields or folder entries. The archive
// is built under a temporary name beside `archive` and renamed into place.
bool writeStoredArchive(const fs::path& archive, const std::vector<Entry>& entries);

// Zip-style wildcard match: `*` matches any run of characters ("/" included),
// `?` one character, `[...]` a set; a backslash makes the next character literal.
bool matchesPattern(std::string_view pattern, std::string_view name);

// True when `name` may be extracted below a folder: relative, no ".." component,
// no backslash, not empty.
bool isSafeEntryName(std::string_view name);

// An existing archive opened for reading and updating. Changes are staged and
// only reach the disk through commit(), which replaces the file atomically;
// destroying the object without commit() leaves the file as it was.
class Archive {
public:
    static std::optional<Archive> open(const fs::path& file);

    Archive(Archive&&) noexcept;
    Archive& operator=(Archive&&) noexcept;
    ~Archive();

    // Entry names in archive order (folder entries included, as stored).
    std::vector<std::string> entryNames() const;
    std::optional<std::string> read(std::string_view name) const;

    // Extracts every file entry matching one of `patterns` below `folder`,
    // overwriting existing files. Unsafe names and entries that decompress to
    // more than 1 GiB or 1000 times their stored size are skipped. Returns the
    // names extracted.
    std::vector<std::string> extract(const std::vector<std::string>& patterns, const fs::path& folder) const;

    // Marks every entry matching one of `patterns` for deletion.
    void remove(const std::vector<std::string>& patterns);

    // Adds `file` as a stored entry, replacing an entry of that name in place;
    // a new name goes after the existing entries, in the order of the calls.
    bool addFile(std::string_view name, const fs::path& file);

    bool commit();

private:
    struct Close {
        void operator()(zip* archive) const;
    };
    explicit Archive(zip* handle, fs::path file);
    std::unique_ptr<zip, Close> handle;
    fs::path file;
};

}  // namespace packager::archive
