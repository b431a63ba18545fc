#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/platform/workspace_lock.h"

namespace packager {

// The folder `name` in the user's temporary folder; empty when the user has
// none, which Workspace::make refuses.
std::filesystem::path inUserTempFolder(std::string_view name);

// A run's private folder in the user's temporary folder, under a name that is
// the same for every run of its kind. Made fresh, it holds the lock file
// "<name>.lock" beside it for its whole life, so overlapping runs of the user
// wait for each other instead of deleting each other's work; destroying it
// removes the folder, then lets the next run in.
class Workspace {
public:
    // What a leftover of an earlier run that cannot be removed means: the end
    // of a run that works in the folder itself, nothing to a run that works
    // in a fresh folder below it.
    enum class Leftover { fatal, harmless };

    // 0 with `made` holding the workspace `folder`, a folder in the user's
    // temporary folder; 9 when a leftover folder there that is `fatal` cannot
    // be removed; 10 when `folder` names no folder to hold it (the user has no
    // temporary folder), when the lock cannot be taken, or when the folder
    // cannot be created or is not the user's own. `made` is empty on failure.
    static std::uint32_t make(const std::filesystem::path& folder, Leftover leftover, std::optional<Workspace>& made);

    Workspace(Workspace&& other) noexcept;
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    Workspace& operator=(Workspace&&) = delete;
    ~Workspace();

    const std::filesystem::path& folder() const { return folder_; }

private:
    Workspace(std::filesystem::path folder, platform::WorkspaceLock lock);

    std::filesystem::path folder_;  // empty once moved from
    platform::WorkspaceLock lock;   // released after the folder is gone
};

}  // namespace packager
