#include "common/platform/platform.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace packager::platform {

namespace {

// A shared /tmp lets anybody plant a folder or link under a predictable name,
// so the private folder is only used when it is a real folder of ours.
bool isPrivateFolder(const fs::path& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

}  // namespace

std::optional<fs::path> userTempFolder() {
    if (const char* configured = std::getenv("TMPDIR"); configured != nullptr && *configured != '\0') {
        std::string folder = fs::path(configured).lexically_normal().string();
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        return fs::path(folder);
    }
    fs::path folder = "/tmp/ebookpack-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (!isPrivateFolder(folder)) return std::nullopt;
    return folder;
}

}  // namespace packager::platform
