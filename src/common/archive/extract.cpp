#include "common/archive/archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <utility>

#include "common/archive/libzip_support.h"
#include "common/file/descriptor.h"

namespace packager::archive {

namespace {

// Opens (creating if needed) the sub-folder `name` of `parent`. A symbolic
// link is never followed, so nothing can lead the extraction out of the
// target folder.
Descriptor openFolder(int parent, const std::string& name) {
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parent, name.c_str(), flags);
    if (fd < 0 && errno == ENOENT && (::mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST))
        fd = ::openat(parent, name.c_str(), flags);
    return Descriptor(fd);
}

bool writeAll(int fd, std::span<const char> bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes entry `index` to `name` (already checked by isSafeEntryName) below
// `root`. The data goes to a fresh file that is then renamed over the
// destination: an existing symbolic or hard link there is replaced rather than
// written through, and a failed entry leaves no half-written file.
bool extractEntry(zip_t* archive, zip_uint64_t index, int root, std::string_view name) {
    Descriptor folder;
    int current = root;
    std::size_t start = 0;
    for (std::size_t slash; (slash = name.find('/', start)) != std::string_view::npos; start = slash + 1) {
        std::string part(name.substr(start, slash - start));
        if (part.empty() || part == ".") continue;
        folder = openFolder(current, part);
        if (!folder) return false;
        current = folder.get();
    }
    std::string leaf(name.substr(start));
    if (leaf.empty() || leaf == ".") return false;

    static std::atomic<unsigned> counter{0};
    std::string partial;
    Descriptor out;
    for (int attempt = 0; attempt < 10 && !out && (attempt == 0 || errno == EEXIST); ++attempt) {
        partial = ".extract-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        out = Descriptor(::openat(current, partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    }
    if (!out) return false;
    bool written = detail::streamEntry(archive, index, [&](std::span<const char> chunk) { return writeAll(out.get(), chunk); });
    written = out.close() && written;
    if (written && ::renameat(current, partial.c_str(), current, leaf.c_str()) == 0) return true;
    ::unlinkat(current, partial.c_str(), 0);
    return false;
}

}  // namespace

std::vector<std::string> Archive::extract(const EntrySelection& selection, const fs::path& folder) const {
    std::vector<std::string> extracted;
    if (!handle) return extracted;
    std::error_code error;
    fs::create_directories(folder, error);
    Descriptor root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root) return extracted;

    zip_int64_t count = zip_get_num_entries(handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* entry = zip_get_name(handle.get(), index, 0);
        if (entry == nullptr) continue;
        std::string_view name(entry);
        if (name.ends_with('/') || !isSafeEntryName(name)) continue;
        if (selection.contains(name) && extractEntry(handle.get(), index, root.get(), name)) extracted.emplace_back(name);
    }
    return extracted;
}

}  // namespace packager::archive
