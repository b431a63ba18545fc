#include "blio/blio_workspace.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "ebookpackager.h"

namespace packager {

namespace {

// Template folders that belong to other packagers and stay out of the package.
constexpr std::string_view kForeignTemplateFolders[] = {"ePub", "Video"};

}  // namespace

// The workspace is the staging tree itself: a leftover of an earlier run would
// go into the package.
std::uint32_t setupBlioTempDir(const fs::path& root, const fs::path& templates, std::optional<Workspace>& made) {
    if (std::uint32_t code = Workspace::make(root, Workspace::Leftover::fatal, made); code != EBOOKPACKAGER_OK)
        return code;
    auto fail = [&made](std::uint32_t code) {
        made.reset();
        return code;
    };
    const BlioPlaces places{root};
    if (!EpubPackagerFileUtility::createDirectoryAtPath(places.enhancedContent() / "VideoAssets"))
        return fail(EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE);
    const fs::path overlayAssets = places.enhancedContent() / "OverlayAssets";
    if (!EpubPackagerFileUtility::copy(templates, overlayAssets)) return fail(EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE);
    for (std::string_view folder : kForeignTemplateFolders) {
        const fs::path copied = overlayAssets / folder;
        if (isFolder(copied) && !EpubPackagerFileUtility::remove(copied))
            return fail(EBOOKPACKAGER_CANNOT_REMOVE_WORKSPACE);
    }
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
