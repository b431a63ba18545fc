#include "epub/workspace_copy.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <system_error>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"

namespace packager {

namespace {

bool cloneFile(const fs::path& from, const fs::path& to) {
    // O_NONBLOCK: should a FIFO take the file's place after the caller's
    // check, the open returns at once and the clone fails.
    int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (source < 0) return false;
    int target = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (target < 0) {
        ::close(source);
        return false;
    }
    bool cloned = ::ioctl(target, FICLONE, source) == 0;
    ::close(source);
    ::close(target);
    if (!cloned) ::unlink(to.c_str());
    return cloned;
}

// A link could bring in any file of the user's, and a name that is not
// UTF-8 cannot be written into the book.
bool isEligible(const fs::path& from, const fs::path& to) {
    return isPlainFile(from) && isValidUtf8(to.filename().string());
}

}  // namespace

bool placeFile(const fs::path& from, const fs::path& to) {
    if (!isEligible(from, to)) return false;
    std::error_code error;
    auto link = [&] { return ::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0; };
    if (link()) return true;
    if (errno == EEXIST) {
        fs::remove(to, error);
        if (link()) return true;
    }
    // Across file systems, or where links are refused (another user's file).
    if (cloneFile(from, to)) return true;
    return copyFileAtomically(from, to);
}

bool placeIfEligible(const fs::path& from, const fs::path& to) {
    return !isEligible(from, to) || placeFile(from, to);
}

bool placeTree(const fs::path& from, const fs::path& to) {
    std::error_code error;
    // A linked folder is no part of the export: nothing of it is placed.
    if (!isPlainFolder(from)) return true;
    bool placed = EpubPackagerFileUtility::createDirectoryAtPath(to);
    for (const fs::path& relative : walkFolder(from)) {
        if (!isValidUtf8(relative.string())) continue;  // the book could not hold it
        const fs::path source = from / relative;
        if (fs::is_directory(source, error)) {
            if (!EpubPackagerFileUtility::createDirectoryAtPath(to / relative)) placed = false;
        } else if (!placeIfEligible(source, to / relative)) {
            placed = false;
        }
    }
    return placed;
}

}  // namespace packager
