#include "epub/epub_run.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/file/run_checks.h"
#include "common/file/workspace.h"
#include "common/platform/platform.h"
#include "epub/build_steps.h"
#include "epub/epub_package_run.h"

namespace packager {

namespace {

constexpr std::string_view kWorkspaceRootName = "TavrinEpubTemp";
constexpr BundleFile kMediaTypes[] = {{"Resources/MediaTypes.xml", EBOOKPACKAGER_MEDIA_TYPES_MISSING}};

bool hasFlowPage(const fs::path& reflowFolder) {
    for (const fs::path& entry : listFolder(reflowFolder))
        if (isFlowPageName(entry.filename().string())) return true;
    return false;
}

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
        !add(createBookCover(source, templatesFolder(bundle), options, oebps)) ||
        !add(createTableOfContents(source, options.epubVersion, oebps)) ||
        // The package document lists what the steps before it placed.
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
    CheckedRun checked = checkRun(source, destination, "epub", bundle, kMediaTypes);
    if (checked.code != EBOOKPACKAGER_OK) return checked.code;
    Delivery& delivery = *checked.delivery;
    // A linked OEBPS would bring in a folder from anywhere: it counts as missing.
    if (!isPlainFolder(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FOLDER_MISSING;
    if (!hasFlowPage(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FILES_MISSING;

    const EpubExport exported = readEpubExport(source);
    // The run works in a fresh folder below the root, so a leftover of an
    // earlier run that cannot be removed does it no harm.
    std::optional<Workspace> workspace;
    if (std::uint32_t code = Workspace::make(inUserTempFolder(kWorkspaceRootName), Workspace::Leftover::harmless,
                                             workspace);
        code != EBOOKPACKAGER_OK)
        return code;
    const fs::path output = workspace->folder() / EpubPackagerFileUtility::randomFileName() / "output";
    const std::uint32_t code = buildBook(exported, *bundle, options, output, delivery.target());
    if (code == EBOOKPACKAGER_OK) delivery.folder.keep();
    return code;
}

}  // namespace packager
