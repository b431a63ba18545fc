#include "common/platform/workspace_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace packager::platform {

std::optional<WorkspaceLock> WorkspaceLock::acquire(const std::filesystem::path& lockFile) {
    int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) return std::nullopt;
    int status;
    do {
        status = ::flock(descriptor, LOCK_EX);
    } while (status != 0 && errno == EINTR);
    if (status != 0) {
        ::close(descriptor);
        return std::nullopt;
    }
    return WorkspaceLock(descriptor);
}

WorkspaceLock::WorkspaceLock(WorkspaceLock&& other) noexcept : descriptor(other.descriptor) {
    other.descriptor = -1;
}

WorkspaceLock::~WorkspaceLock() {
    if (descriptor >= 0) ::close(descriptor);  // closing releases the lock
}

}  // namespace packager::platform
