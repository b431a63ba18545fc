#include "blio/asset_list.h"
#include "common/file/file_identity.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"

namespace packager {

void AssetList::cleanup() {
    // The same folder on the disk, not a folder of the same name in another
    // case: a tidy-up of the wrong folder destroys the user's files.
    if (destFileName_.empty() || !isSameFileSystemObject(sourceDir_, destDir_)) return;
    const fs::path package = destDir_ / destFileName_;
    const fs::path packageAssets = destDir_ / (fs::path(destFileName_).stem().string() + "_Assets");

    // Without the package the export is all the user has.
    if (!isPlainFile(package)) return;
    for (const fs::path& entry : listFolder(destDir_)) {
        if (isSameFileSystemObject(entry, package) || isSameFileSystemObject(entry, packageAssets)) continue;
        // A temporary folder set inside the export holds this run's workspace.
        if (isSameFileSystemObject(entry, tempDir_) || liesBelow(tempDir_, entry)) continue;
        // Removes a link itself, never what it points to.
        EpubPackagerFileUtility::remove(entry);
    }
}

}  // namespace packager
