#include "common/file/workspace.h"

#include <utility>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/platform/platform.h"
#include "ebookpackager.h"

namespace packager {

fs::path inUserTempFolder(std::string_view name) {
    const std::optional<fs::path> temporary = platform::userTempFolder();
    return temporary ? standardizePath(temporary->string()) / name : fs::path();
}

std::uint32_t Workspace::make(const fs::path& folder, Leftover leftover, std::optional<Workspace>& made) {
    made.reset();
    if (!folder.has_parent_path()) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    std::optional<platform::WorkspaceLock> lock =
        platform::WorkspaceLock::acquire(folder.parent_path() / (folder.filename().string() + ".lock"));
    if (!lock) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    if (isFolder(folder) && !EpubPackagerFileUtility::remove(folder) && leftover == Leftover::fatal)
        return EBOOKPACKAGER_CANNOT_REMOVE_WORKSPACE;
    // What is there after the removal (another user's folder in a shared
    // temporary folder) must not receive the run's files.
    if (!EpubPackagerFileUtility::createDirectoryAtPath(folder) || !platform::isPrivateFolder(folder))
        return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    made.emplace(Workspace(folder, std::move(*lock)));
    return EBOOKPACKAGER_OK;
}

Workspace::Workspace(fs::path folder, platform::WorkspaceLock lock) : folder_(std::move(folder)), lock(std::move(lock)) {}

Workspace::Workspace(Workspace&& other) noexcept
    : folder_(std::exchange(other.folder_, {})), lock(std::move(other.lock)) {}

Workspace::~Workspace() {
    if (!folder_.empty()) EpubPackagerFileUtility::remove(folder_);
}

}  // namespace packager
