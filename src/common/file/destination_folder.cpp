#include "common/file/destination_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/file/file_identity.h"
#include "common/file/file_io.h"
#include "common/file/package_path.h"
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

// Creates the missing folders of `folder`, outermost first, and adds to `made`
// each one this call made (a folder another process makes meanwhile is not
// ours). False when one cannot be made.
bool makeMissingFolders(const fs::path& folder, std::vector<fs::path>& made) {
    std::vector<fs::path> missing;
    for (fs::path at = folder; !at.empty() && !exists(at); at = at.parent_path()) missing.push_back(at);
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (::mkdir(at->c_str(), 0777) == 0) {
            made.push_back(*at);
        } else if (errno != EEXIST || !isFolder(*at)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<DestinationFolder> DestinationFolder::prepare(const fs::path& folder) {
    const fs::path base = folder.empty() ? fs::path(".") : folder;
    std::vector<fs::path> made;
    const bool writable = makeMissingFolders(base, made) && isFolder(base) && canCreateFilesIn(base);
    DestinationFolder prepared(std::move(made));
    if (!writable) return std::nullopt;  // `prepared` takes back what it made
    return prepared;
}

DestinationFolder::DestinationFolder(std::vector<fs::path> made) : made(std::move(made)) {}

DestinationFolder::DestinationFolder(DestinationFolder&& other) noexcept : made(std::exchange(other.made, {})) {}

DestinationFolder::~DestinationFolder() {
    // rmdir() removes only an empty folder: anything put there meanwhile stays.
    for (auto at = made.rbegin(); at != made.rend(); ++at) ::rmdir(at->c_str());
}

fs::path Delivery::target() const { return standardizePath(package.parent_path().string()) / package.filename(); }

std::optional<Delivery> prepareDelivery(const std::string& source, const std::string& destination,
                                        std::string_view extension) {
    const std::optional<std::string> package = packagePath(destination, extension);
    if (!package) return std::nullopt;
    const fs::path target(*package);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (liesBelow(folder, source)) return std::nullopt;
    if (isSameFileSystemObject(source, target)) return Delivery{target, DestinationFolder()};
    std::optional<DestinationFolder> prepared = DestinationFolder::prepare(folder);
    if (!prepared) return std::nullopt;
    removeAbandonedTemporaries(folder);
    return Delivery{target, std::move(*prepared)};
}

}  // namespace packager
