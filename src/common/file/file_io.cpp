#include "common/file/file_io.h"

#include "common/file/descriptor.h"
#include "common/file/staged_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace packager {

namespace {

constexpr std::size_t readChunk = 64 * 1024;

// Copies in the kernel, without passing the bytes through our memory: much
// faster for the large packages this delivers, and a copy-on-write clone on
// file systems that have them. Nothing when the system cannot copy between
// these files (another file system, an old kernel) and nothing has been
// copied yet, so the caller can fall back to reading and writing.
std::optional<bool> copyInKernel(int source, int target) {
    constexpr std::size_t chunk = std::size_t{1} << 30;
    bool copiedAny = false;
    for (;;) {
        ssize_t copied = ::copy_file_range(source, nullptr, target, nullptr, chunk, 0);
        if (copied == 0) return true;
        if (copied > 0) {
            copiedAny = true;
        } else if (errno != EINTR) {
            bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP;
            if (unsupported && !copiedAny) return std::nullopt;
            return false;
        }
    }
}

bool copyThroughBuffer(int source, StagedFile& target) {
    std::string buffer(readChunk, '\0');
    for (;;) {
        ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!target.write(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return false;
    }
}

bool byName(const fs::path& left, const fs::path& right) {
    return left.filename().native() < right.filename().native();
}

struct Entry {
    fs::path name;
    fs::file_type type;
};

// Lists one folder of the walk; false when it (or part of it) could not be read.
bool listEntries(const fs::path& folder, std::vector<Entry>& entries) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        fs::file_type type = it->symlink_status(typeError).type();
        entries.push_back({it->path().filename(), typeError ? fs::file_type::unknown : type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& left, const Entry& right) { return left.name.native() < right.name.native(); });
    return !error;
}

// Pre-order walk of regular files and folders; nothing else is listed or entered.
bool walkInto(const fs::path& root, const fs::path& relative, bool strict, std::vector<fs::path>& found) {
    std::vector<Entry> entries;
    if (!listEntries(root / relative, entries) && strict) return false;
    for (const Entry& entry : entries) {
        if (entry.type != fs::file_type::regular && entry.type != fs::file_type::directory) continue;
        fs::path path = relative / entry.name;  // not a reference into `found`, which grows below
        found.push_back(path);
        if (entry.type == fs::file_type::directory && !walkInto(root, path, strict, found) && strict) return false;
    }
    return true;
}

// A regular file opened for reading (a link to one is followed). Anything
// else is refused: O_NONBLOCK keeps open() from waiting on a FIFO, and means
// nothing for a regular file.
class RegularFile {
public:
    explicit RegularFile(const fs::path& file) : fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (fd.get() >= 0 && (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))) info.st_mode = 0;
    }
    bool isOpen() const { return fd.get() >= 0 && S_ISREG(info.st_mode); }
    int descriptor() const { return fd.get(); }
    std::size_t size() const { return static_cast<std::size_t>(info.st_size); }

    // An atomic copy with the file's permission bits.
    bool copyTo(const fs::path& to) const {
        std::optional<StagedFile> staged = StagedFile::create(to);
        if (!staged || ::fchmod(staged->descriptor(), info.st_mode & 07777) != 0) return false;
        std::optional<bool> copied = copyInKernel(fd.get(), staged->descriptor());
        if (!copied) copied = copyThroughBuffer(fd.get(), *staged);
        return *copied && staged->commit();
    }

private:
    Descriptor fd;
    struct stat info {};
};

std::optional<std::string> homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return std::string(home);
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384, '\0');
    passwd record{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &record, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0')
        return std::string(found->pw_dir);
    return std::nullopt;
}

}  // namespace

std::optional<mode_t> permissionsOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return std::nullopt;
    return info.st_mode & 07777;
}

std::optional<std::string> readFile(const fs::path& file) {
    const RegularFile source(file);
    if (!source.isOpen()) return std::nullopt;

    // One byte of headroom lets the final zero-length read see end of file
    // without growing the buffer; the loop still copes with a file that grows.
    std::string bytes(source.size() + 1, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() + readChunk);
        ssize_t got = ::read(source.descriptor(), bytes.data() + used, bytes.size() - used);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

bool writeFileAtomically(const fs::path& file, std::string_view bytes, std::optional<mode_t> permissions) {
    std::optional<StagedFile> staged = StagedFile::create(file);
    if (!staged || (permissions && ::fchmod(staged->descriptor(), *permissions) != 0)) return false;
    return staged->write(bytes) && staged->commit();
}

bool copyFileAtomically(const fs::path& from, const fs::path& to) {
    RegularFile source(from);
    return source.isOpen() && source.copyTo(to);
}

bool linkOrCopyFile(const fs::path& from, const fs::path& to) {
    RegularFile source(from);
    if (!source.isOpen()) return false;
    // Linking the descriptor's own path links the very file that was checked,
    // even if `from` is replaced meanwhile; it needs no privilege, unlike
    // linkat's AT_EMPTY_PATH.
    const std::string opened = "/proc/self/fd/" + std::to_string(source.descriptor());
    return ::linkat(AT_FDCWD, opened.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 || source.copyTo(to);
}

std::vector<fs::path> listFolder(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) entries.push_back(it->path());
    if (error) return {};
    std::sort(entries.begin(), entries.end(), byName);
    return entries;
}

std::vector<fs::path> walkFolder(const fs::path& folder) {
    std::vector<fs::path> found;
    if (isPlainFolder(folder)) walkInto(folder, fs::path(), false, found);
    return found;
}

std::optional<std::vector<fs::path>> walkWholeFolder(const fs::path& folder) {
    std::vector<fs::path> found;
    if (!isPlainFolder(folder) || !walkInto(folder, fs::path(), true, found)) return std::nullopt;
    return found;
}

fs::path standardizePath(const std::string& path) {
    std::string expanded = path;
    if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
        if (std::optional<std::string> home = homeFolder()) expanded = *home + "/" + path.substr(1);
    }
    if (expanded.empty()) return {};
    std::string clean = fs::path(expanded).lexically_normal().native();
    while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
    return clean;
}

bool isPlainFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error));
}

bool isPlainFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(fs::symlink_status(path, error));
}

bool isFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool Exists::operator()(const fs::path& path) const {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

}  // namespace packager
