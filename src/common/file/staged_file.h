#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace packager {

namespace fs = std::filesystem;

// A fresh hidden name in the folder of `destination`, so that renaming an item
// from it onto `destination` is atomic. The name is not reserved: create it
// exclusively (O_EXCL, mkdir) and treat "exists" as a failure.
fs::path temporarySibling(const fs::path& destination);

// Removes from `folder` the staged files of processes killed before they
// published them. A killed process can leave one only where the system has
// no unnamed files, or in the instant between giving one its temporary name
// and renaming it. A staged file is locked for as long as its writer lives, so
// only a file of a temporary name that nobody holds is removed: another run's
// file in the making, and any file of another name, stay.
void removeAbandonedTemporaries(const fs::path& folder);

// A file written beside its destination and published by renaming it into
// place. It is written as an unnamed file where the system allows, so that a
// process killed while writing leaves nothing behind; elsewhere under a hidden
// temporary name, removed unless commit() succeeds. Either way a failed write
// never leaves a partial destination or a stray file, and what a killed
// process leaves is removed by removeAbandonedTemporaries.
class StagedFile {
public:
    // Creates the file, with default permissions (0666 less the umask), and
    // opens it for writing.
    static std::optional<StagedFile> create(const fs::path& destination);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    StagedFile& operator=(StagedFile&&) = delete;
    ~StagedFile();  // removes the temporary file unless it was published

    int descriptor() const { return fd; }  // open for writing until commit()

    bool write(std::string_view bytes);  // all of it, or false

    // Closes the file and renames it onto the destination. Not synced to disk:
    // this guards against failures and killed processes, not power loss. An
    // unnamed file gets its hidden name only for the moment before the rename.
    bool commit();

private:
    StagedFile(int fd, fs::path temporary, fs::path destination);
    bool giveName();  // links an unnamed file to a hidden temporary name
    void discard();

    int fd = -1;
    fs::path temporary;
    fs::path destination;
};

}  // namespace packager
