#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Marks a batch's folder as in use. The lock file's descriptor is inherited by
// every job the batch starts, and the lock holds while any holder keeps it
// open: a batch killed outright keeps its folder until its last job has ended.
class BatchFolderLock {
public:
    // Locks `folder`; nothing, with the reason in `problem`, when it cannot.
    static std::optional<BatchFolderLock> take(const std::filesystem::path& folder, std::string& problem);

    BatchFolderLock(BatchFolderLock&& other) noexcept;
    BatchFolderLock& operator=(BatchFolderLock&&) = delete;
    ~BatchFolderLock();

private:
    explicit BatchFolderLock(int descriptor) : descriptor(descriptor) {}
    int descriptor = -1;
};

// Removes this user's folders `prefix`* in `parent` that no batch holds any
// more: those of batches that were killed before they could clean up.
void removeAbandonedBatchFolders(const std::filesystem::path& parent, std::string_view prefix);
