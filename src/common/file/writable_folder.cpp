#include "common/file/writable_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/file/file_utility.h"
#include "common/file/staged_file.h"

namespace packager {

namespace {

bool canCreateFilesIn(const fs::path& folder) {
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        ::close(unnamed);
        return true;
    }
    // Kernels without unnamed files answer EISDIR, file systems without them
    // EOPNOTSUPP; anything else is a real refusal.
    if (errno != EISDIR && errno != EOPNOTSUPP) return false;
    const fs::path probe = temporarySibling(folder / "probe");
    if (::mkdir(probe.c_str(), 0700) != 0) return false;
    ::rmdir(probe.c_str());
    return true;
}

}  // namespace

bool isWritableFolder(const fs::path& folder) {
    const fs::path base = folder.empty() ? fs::path(".") : folder;
    return EpubPackagerFileUtility::createDirectoryAtPath(base) && canCreateFilesIn(base);
}

}  // namespace packager
