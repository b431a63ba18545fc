#include "common/file/file_identity.h"

#include <sys/stat.h>

#include <optional>
#include <system_error>

namespace packager {

namespace fs = std::filesystem;

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

Identity identityOf(const struct stat& info) { return Identity{info.st_dev, info.st_ino}; }

std::optional<Identity> identityOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return identityOf(info);
}

}  // namespace

bool isSameFileSystemObject(const fs::path& left, const fs::path& right) {
    std::optional<Identity> leftIdentity = identityOf(left);
    return leftIdentity && leftIdentity == identityOf(right);
}

bool namesOpenFile(const fs::path& name, int descriptor) {
    struct stat named {}, opened {};
    return ::lstat(name.c_str(), &named) == 0 && ::fstat(descriptor, &opened) == 0 &&
           identityOf(named) == identityOf(opened);
}

bool liesBelow(const fs::path& path, const fs::path& folder) {
    std::optional<Identity> folderIdentity = identityOf(folder);
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (!folderIdentity || path.empty() || error) return false;
    // Resolved first, so that ".." climbs out of the folder a link leads to,
    // as the file system would.
    fs::path resolved = fs::weakly_canonical(absolute, error);
    if (error) return false;
    if (resolved.filename().empty()) resolved = resolved.parent_path();  // a trailing separator
    for (fs::path above = resolved.parent_path(); ; above = above.parent_path()) {
        if (identityOf(above) == folderIdentity) return true;
        if (above == above.root_path() || above.empty()) return false;
    }
}

}  // namespace packager
