// Fills the book's OEBPS folder with what the export already holds: images,
// reflow pages, style sheets, and a cover page and image (the export's own or
// the library's templates).
#include <array>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "epub/build_steps.h"
#include "epub/interactive_media.h"
#include "epub/page_viewport.h"
#include "epub/workspace_copy.h"

namespace packager {

namespace {

// The host's publishing module keeps its table-of-contents style sheet here,
// relative to the library's bundle folder.
constexpr std::string_view kHostTocStyleSheet = "../../../../Inkfold/Templates/css/toc.css";

constexpr std::array<std::string_view, 3> kCoverImageNames = {"cover.jpg", "cover.gif", "cover.png"};

}  // namespace

// The first of the cover image names that exists in `imagesFolder`; the last
// one when none does.
std::string coverImageName(const fs::path& imagesFolder) {
    for (std::string_view name : kCoverImageNames)
        if (name == kCoverImageNames.back() || exists(imagesFolder / name)) return std::string(name);
    return std::string(kCoverImageNames.back());
}

std::optional<BookFiles> copyResources(const EpubExport& source, const fs::path& bundle, const EpubOptions& options,
                                       const fs::path& oebps) {
    BookFiles placed;
    const fs::path exported = source.reflowFolder();
    if (!EpubPackagerFileUtility::createDirectoryAtPath(oebps / "images") ||
        !placeTree(exported / "images", oebps, "images", placed))
        return std::nullopt;

    InteractiveMedia media(source.assets, oebps);
    for (const fs::path& entry : listFolder(exported)) {
        const fs::path name = entry.filename();
        if (isFlowPageName(name.string())) {
            // Every page is pointed at its media, as a page naming files the
            // book does not hold is broken; a fixed-layout page also states its size.
            if (!placeIfEligible(exported / name, oebps, name, placed) ||
                !media.updateInteractiveAssetsInFileAtPath(oebps / name))
                return std::nullopt;
            if (options.fixedLayout != 0 && !addViewportIfMissing(oebps / name, options.pageWidth, options.pageHeight))
                return std::nullopt;
        } else if (entry.extension() == ".css" && !placeIfEligible(exported / name, oebps, name, placed)) {
            return std::nullopt;
        }
    }
    if (!placeIfEligible(bundle / kHostTocStyleSheet, oebps, "toc.css", placed)) return std::nullopt;
    placed.insert(media.placed().begin(), media.placed().end());
    return placed;
}

std::optional<BookFiles> createBookCover(const EpubExport& source, const fs::path& templates,
                                         const EpubOptions& options, const fs::path& oebps) {
    BookFiles placed;
    const fs::path exportedPage = source.reflowFolder() / "cover.xhtml";
    if (!placeIfEligible(exists(exportedPage) ? exportedPage : templates / "ePub" / "cover.xhtml", oebps, "cover.xhtml",
                         placed))
        return std::nullopt;
    if (options.fixedLayout != 0 && !addViewportIfMissing(oebps / "cover.xhtml", options.pageWidth, options.pageHeight))
        return std::nullopt;

    const fs::path exportedImages = source.reflowFolder() / "images";
    const std::string name = coverImageName(exportedImages);
    const fs::path exportedCover = exportedImages / name;
    // placeFile judges the file alone, and a linked images folder is no part of the export.
    const bool exportedCoverUsable = isPlainFolder(exportedImages) && isPlainFile(exportedCover) &&
                                     EpubPackagerImageUtility::isImageFile(exportedCover);
    if (exportedCoverUsable) {
        if (!placeIfEligible(exportedCover, oebps, fs::path("images") / name, placed)) return std::nullopt;
    } else if (!EpubPackagerFileUtility::createDirectoryAtPath(oebps / "images") ||
               !placeIfEligible(templates / "ePub" / "cover.png", oebps, "images/cover.png", placed)) {
        return std::nullopt;
    }
    return placed;
}

}  // namespace packager
