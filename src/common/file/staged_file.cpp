#include "common/file/staged_file.h"

#include "common/file/random_name.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <utility>

namespace packager {

namespace {

constexpr int createAttempts = 16;  // only a name collision is retried

// An unnamed file is published through its /proc link; without /proc it
// could never be given a name.
constexpr const char* kDescriptorLinks = "/proc/self/fd/";

int createUnnamed(const fs::path& folder) {
    if (::access(kDescriptorLinks, X_OK) != 0) return -1;
    return ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

}  // namespace

fs::path temporarySibling(const fs::path& destination) {
    return destination.parent_path() / ("." + randomName() + ".tmp");
}

std::optional<StagedFile> StagedFile::create(const fs::path& destination) {
    if (int fd = createUnnamed(destination.parent_path()); fd >= 0) return StagedFile(fd, fs::path(), destination);
    for (int attempt = 0; attempt < createAttempts; ++attempt) {
        fs::path temporary = temporarySibling(destination);
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return StagedFile(fd, std::move(temporary), destination);
        if (errno != EEXIST) return std::nullopt;
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
