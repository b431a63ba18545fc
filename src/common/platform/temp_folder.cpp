#include "common/platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace packager::platform {

namespace {

bool isFolderOwnedBy(const struct stat& info, uid_t owner) { return S_ISDIR(info.st_mode) && info.st_uid == owner; }

// The workspace goes below this folder and is removed with everything in it,
// so the folder must be ours: a link could point the removal anywhere, and a
// folder another user controls could be swapped under us. A shared folder
// such as /tmp is fine when root owns it and its sticky bit keeps other users
// from renaming or removing what we create in it.
bool isTrustedTempRoot(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return false;
    return isFolderOwnedBy(info, ::getuid()) || (isFolderOwnedBy(info, 0) && (info.st_mode & S_ISVTX) != 0);
}

}  // namespace

bool isPrivateFolder(const fs::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && isFolderOwnedBy(info, ::getuid());
}

std::optional<fs::path> userTempFolder() {
    if (const char* configured = std::getenv("TMPDIR"); configured != nullptr && *configured != '\0') {
        std::string folder = fs::path(configured).lexically_normal().string();
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (!isTrustedTempRoot(folder)) return std::nullopt;
        return fs::path(folder);
    }
    // A shared /tmp lets anybody plant a folder or link under this predictable
    // name, so it is only used when it is a real folder of ours.
    fs::path folder = "/tmp/ebookpack-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!isPrivateFolder(folder)) return std::nullopt;
    return folder;
}

}  // namespace packager::platform
