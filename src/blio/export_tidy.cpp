#include "blio/blio_steps.h"
#include "common/file/file_identity.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"

namespace packager {

void cleanup(const fs::path& exportFolder, const fs::path& package, const fs::path& tempFolder) {
    const fs::path folder = package.parent_path();
    // The same folder on the disk, not a folder of the same name in another
    // case: a tidy-up of the wrong folder destroys the user's files.
    if (!isSameFileSystemObject(exportFolder, folder)) return;
    const fs::path packageAssets = folder / (package.stem().string() + "_Assets");

    // Without the package the export is all the user has.
    if (!isPlainFile(package)) return;
    for (const fs::path& entry : listFolder(folder)) {
        if (isSameFileSystemObject(entry, package) || isSameFileSystemObject(entry, packageAssets)) continue;
        // A temporary folder set inside the export holds this run's workspace.
        if (isSameFileSystemObject(entry, tempFolder) || liesBelow(tempFolder, entry)) continue;
        // Removes a link itself, never what it points to.
        EpubPackagerFileUtility::remove(entry);
    }
}

}  // namespace packager
