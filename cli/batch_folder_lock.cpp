#include "batch_folder_lock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = ".in-use";
// A batch makes its lock file right after its folder; a folder without one
// that is older than this was left by a batch killed in between.
constexpr auto kUnlockedGrace = std::chrono::minutes(1);

bool isOwnFolder(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
}

bool isRecent(const fs::path& folder) {
    std::error_code error;
    const auto changed = fs::last_write_time(folder, error);
    return !error && fs::file_time_type::clock::now() - changed < kUnlockedGrace;
}

// True when no process holds the folder's lock. The answer stays true while
// `descriptor` (set when the lock file exists) is open.
bool isAbandoned(const fs::path& folder, int& descriptor) {
    descriptor = ::open((folder / kLockName).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return errno == ENOENT && !isRecent(folder);
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

std::optional<BatchFolderLock> BatchFolderLock::take(const fs::path& folder, std::string& problem) {
    // Deliberately without O_CLOEXEC: the jobs inherit the lock.
    int descriptor = ::open((folder / kLockName).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (descriptor < 0 || ::flock(descriptor, LOCK_SH) != 0) {
        problem = "cannot lock " + folder.string() + ": " + std::generic_category().message(errno);
        if (descriptor >= 0) ::close(descriptor);
        return std::nullopt;
    }
    return BatchFolderLock(descriptor);
}

BatchFolderLock::BatchFolderLock(BatchFolderLock&& other) noexcept : descriptor(other.descriptor) {
    other.descriptor = -1;
}

BatchFolderLock::~BatchFolderLock() {
    if (descriptor >= 0) ::close(descriptor);
}

void removeAbandonedBatchFolders(const fs::path& parent, std::string_view prefix) {
    std::error_code error;
    for (fs::directory_iterator entry(parent, error), end; !error && entry != end; entry.increment(error)) {
        const fs::path& folder = entry->path();
        if (!folder.filename().string().starts_with(prefix) || !isOwnFolder(folder)) continue;
        int descriptor = -1;
        std::error_code ignored;
        if (isAbandoned(folder, descriptor)) fs::remove_all(folder, ignored);
        if (descriptor >= 0) ::close(descriptor);
    }
}
