#include "common/file/staged_file.h"

#include "common/file/descriptor.h"
#include "common/file/file_identity.h"
#include "common/file/file_io.h"
#include "common/file/random_name.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace packager {

namespace {

constexpr int createAttempts = 16;  // only a name collision is retried

// An unnamed file is published through its /proc link; without /proc it
// could never be given a name.
constexpr const char* kDescriptorLinks = "/proc/self/fd/";

// The program's name in temporary names, so that a sweep removes nothing of
// anyone else's.
constexpr std::string_view kTemporaryPrefix = ".ebookpack-";
constexpr std::string_view kTemporarySuffix = ".tmp";

bool isTemporaryName(std::string_view name) {
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return false;
    name.remove_prefix(kTemporaryPrefix.size());
    name.remove_suffix(kTemporarySuffix.size());
    return !name.empty() && name.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

int createUnnamed(const fs::path& folder) {
    if (::access(kDescriptorLinks, X_OK) != 0) return -1;
    return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

// A staged file's lock lasts as long as its writer holds it open, and tells a
// sweep that the writer is alive. False only when another process holds it
// (a sweep about to remove the file): waiting for it could hang the run. Where
// the file system has no locks a sweep cannot take one either and leaves every
// file, so that refusal is no failure.
bool takeLock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

}  // namespace

fs::path temporarySibling(const fs::path& destination) {
    return destination.parent_path() /
           (std::string(kTemporaryPrefix) + randomName() + std::string(kTemporarySuffix));
}

void removeAbandonedTemporaries(const fs::path& folder) {
    for (const fs::path& item : listFolder(folder)) {
        if (!isTemporaryName(item.filename().native())) continue;
        const Descriptor file(::open(item.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (!file || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(file.get(), &opened) != 0) continue;
        // A second link would be somebody's own name for the file.
        if (S_ISREG(opened.st_mode) && opened.st_nlink == 1 && namesOpenFile(item, file.get())) ::unlink(item.c_str());
    }
}

std::optional<StagedFile> StagedFile::create(const fs::path& destination) {
    if (int fd = createUnnamed(destination.parent_path()); fd >= 0) {
        takeLock(fd);  // nobody else can reach a file without a name
        return StagedFile(fd, fs::path(), destination);
    }
    for (int attempt = 0; attempt < createAttempts; ++attempt) {
        fs::path temporary = temporarySibling(destination);
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return std::nullopt;
        if (fd < 0) continue;
        // A sweep may have come upon the name before the lock was taken: then
        // the name is gone, or the sweep is about to remove it.
        const bool locked = takeLock(fd);
        const bool named = namesOpenFile(temporary, fd);
        if (locked && named) return StagedFile(fd, std::move(temporary), destination);
        if (named) ::unlink(temporary.c_str());
        ::close(fd);
    }
    return std::nullopt;
}

StagedFile::StagedFile(int fd, fs::path temporary, fs::path destination)
    : fd(fd), temporary(std::move(temporary)), destination(std::move(destination)) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)),
      temporary(std::move(other.temporary)),
      destination(std::move(other.destination)) {
    other.temporary.clear();
}

StagedFile::~StagedFile() { discard(); }

void StagedFile::discard() {
    if (fd >= 0) ::close(std::exchange(fd, -1));
    if (!temporary.empty()) ::unlink(temporary.c_str());
    temporary.clear();
}

bool StagedFile::write(std::string_view bytes) {
    if (fd < 0) return false;
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool StagedFile::giveName() {
    const std::string link = kDescriptorLinks + std::to_string(fd);
    for (int attempt = 0; attempt < createAttempts; ++attempt) {
        fs::path name = temporarySibling(destination);
        if (::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool StagedFile::commit() {
    if (fd < 0) return false;
    if (!temporary.empty()) {
        // close() is where some file systems (NFS) report a failed write.
        const bool closed = ::close(std::exchange(fd, -1)) == 0;
        if (closed && ::rename(temporary.c_str(), destination.c_str()) == 0) {
            temporary.clear();
            return true;
        }
        discard();
        return false;
    }
    // An unnamed file takes its name directly when the name is free, so a
    // process killed meanwhile leaves nothing behind. Over an existing file it
    // must pass through a temporary name, given and renamed back to back to
    // make a leftover all but impossible. It is closed only once published.
    const std::string link = kDescriptorLinks + std::to_string(fd);
    bool published = ::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0;
    if (!published && errno == EEXIST)
        published = giveName() && ::rename(temporary.c_str(), destination.c_str()) == 0;
    if (published) temporary.clear();
    const bool closed = ::close(std::exchange(fd, -1)) == 0;
    discard();
    return published && closed;
}

}  // namespace packager
