#include "epub/epub_run.h"

#include <utility>

#include "common/file/destination_folder.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/platform/platform.h"
#include "common/platform/workspace_lock.h"
#include "epub/build_steps.h"
#include "epub/epub_package_run.h"

namespace packager {

namespace {

constexpr std::string_view kWorkspaceRootName = "TavrinEpubTemp";
constexpr std::string_view kWorkspaceLockName = "TavrinEpubTemp.lock";

bool hasFlowPage(const fs::path& reflowFolder) {
    for (const fs::path& entry : listFolder(reflowFolder))
        if (isFlowPageName(entry.filename().string())) return true;
    return false;
}

// The run's private folder in the user's temporary folder. Its name is the
// same for every run of the user, so it is made under a lock that makes an
// overlapping run wait rather than delete this one's work; it goes when the
// run ends.
class EpubWorkspace {
public:
    static std::optional<EpubWorkspace> make() {
        const std::optional<fs::path> temporary = platform::userTempFolder();
        if (!temporary) return std::nullopt;
        const fs::path root = standardizePath(temporary->string()) / kWorkspaceRootName;
        std::optional<platform::WorkspaceLock> lock =
            platform::WorkspaceLock::acquire(root.parent_path() / kWorkspaceLockName);
        if (!lock) return std::nullopt;
        if (isFolder(root)) EpubPackagerFileUtility::remove(root);
        // What remains at the root after the removal (another user's folder
        // in a shared temporary folder) must not receive the book's files.
        if (!EpubPackagerFileUtility::createDirectoryAtPath(root) || !platform::isPrivateFolder(root))
            return std::nullopt;
        return EpubWorkspace(root, std::move(*lock));
    }
    EpubWorkspace(EpubWorkspace&& other) noexcept : root(std::exchange(other.root, {})), lock(std::move(other.lock)) {}
    ~EpubWorkspace() {
        if (!root.empty()) EpubPackagerFileUtility::remove(root);
    }
    const fs::path& folder() const { return root; }

private:
    EpubWorkspace(fs::path root, platform::WorkspaceLock lock) : root(std::move(root)), lock(std::move(lock)) {}
    fs::path root;
    platform::WorkspaceLock lock;
};

// Builds the book from the export in `output` and writes it to `target`:
// each step is handed what it needs and answers the files it placed, which
// the package document lists and the archive holds.
std::uint32_t buildBook(const EpubExport& source, const fs::path& bundle, const EpubOptions& options,
                        const fs::path& output, const fs::path& target) {
    const fs::path oebps = output / "OEBPS";
    MediaTypes mediaTypes;
    mediaTypes.readXml(bundle / "Resources" / "MediaTypes.xml");
    BookFiles placed;
    auto add = [&placed](const std::optional<BookFiles>& files) {
        if (files) placed.insert(files->begin(), files->end());
        return files.has_value();
    };
    // A step that cannot write what the book needs ends the run: a book
    // missing a part is not delivered, and the destination stays as it was.
    const std::optional<BookFiles> structure = createEPubStructure(output);
    if (!structure || !add(copyResources(source, bundle, options, oebps)) ||
        !add(createBookCover(source, bundle / "Resources" / "Templates", options, oebps)) ||
        !add(createTableOfContents(source, options.epubVersion, oebps)) ||
        !add(createContentOPF(source, mediaTypes.mediaTypes(), placed, options, oebps)))
        return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    if (!generateEpubFile(output, *structure, placed, target)) return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;
    return EBOOKPACKAGER_OK;
}

}  // namespace

std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options) {
    return createEPubPackage(source, destination, options, platform::bundleFolder());
}

std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options,
                                const std::optional<fs::path>& bundle) {
    if (!bundle) return EBOOKPACKAGER_CANNOT_INITIALIZE;
    if (!exists(*bundle / "Resources" / "MediaTypes.xml")) return EBOOKPACKAGER_MEDIA_TYPES_MISSING;
    if (!isFolder(*bundle / "Resources" / "Templates")) return EBOOKPACKAGER_TEMPLATES_MISSING;

    std::optional<Delivery> delivery = prepareDelivery(source, destination, "epub");
    if (!delivery) return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;

    if (!isFolder(source)) return EBOOKPACKAGER_SOURCE_NOT_FOLDER;
    // A linked OEBPS would bring in a folder from anywhere: it counts as missing.
    if (!isPlainFolder(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FOLDER_MISSING;
    if (!hasFlowPage(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FILES_MISSING;

    const EpubExport exported = readEpubExport(source);
    const std::optional<EpubWorkspace> workspace = EpubWorkspace::make();
    if (!workspace) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    const fs::path output = workspace->folder() / EpubPackagerFileUtility::randomFileName() / "output";
    const fs::path target =
        standardizePath(delivery->package.parent_path().string()) / delivery->package.filename();
    const std::uint32_t code = buildBook(exported, *bundle, options, output, target);
    if (code == EBOOKPACKAGER_OK) delivery->folder.keep();
    return code;
}

}  // namespace packager
