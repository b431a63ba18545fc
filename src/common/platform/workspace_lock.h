#pragma once

#include <filesystem>
#include <optional>

namespace packager::platform {

// An exclusive lock on a file beside a workspace root, held for the lifetime
// of the object, so overlapping runs of one user wait for each other instead of
// deleting each other's workspace. The lock dies with the process.
class WorkspaceLock {
public:
    // Blocks until the lock is free; nothing when the lock file cannot be opened.
    static std::optional<WorkspaceLock> acquire(const std::filesystem::path& lockFile);

    WorkspaceLock(WorkspaceLock&& other) noexcept;
    WorkspaceLock& operator=(WorkspaceLock&&) = delete;
    ~WorkspaceLock();

private:
    explicit WorkspaceLock(int descriptor) : descriptor(descriptor) {}
    int descriptor = -1;
};

}  // namespace packager::platform
