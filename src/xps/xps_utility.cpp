#include "xps/xps_utility.h"

#include <algorithm>
#include <set>

#include "common/archive/archive.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "common/platform/platform.h"
#include "xps/content_types.h"
#include "xps/default_file_types.h"
#include "xps/parallel_extraction.h"
#include "xps/part_names.h"
#include "xps/reference_renaming.h"
#include "xps/text_encoding.h"
#include "xps/tiff_conversion.h"

namespace packager {

namespace {

constexpr std::string_view documentsFolder = "Documents";
constexpr std::string_view pagesFolder = "Documents/1/Pages/";
// The Blio packager's own folder: it rebuilds all of it on every run.
constexpr std::string_view enhancedContentFolder = "Documents/1/Other/KNFB";

bool isTiffName(std::string_view entryName) {
    const std::string extension = xps::lowerExtension(entryName);
    return extension == "tif" || extension == "tiff";
}

// Images are recompressed only directly in the top-level Resources folder.
bool isResourceImage(std::string_view entryName) {
    const std::string prefix = std::string(xps::resourcesFolder) + "/";
    return entryName.starts_with(prefix) && entryName.find('/', prefix.size()) == std::string_view::npos;
}

bool isContentTypesEntry(std::string_view entryName) {
    return xps::lowerCase(entryName).find(xps::lowerCase(xps::contentTypesName)) != std::string::npos;
}

// Parts that may name an image: the fixed pages with their relationship
// parts, wherever the package keeps them, and shared resource dictionaries.
bool mayReferenceImages(std::string_view entryName) {
    const std::string extension = xps::lowerExtension(entryName);
    return entryName.starts_with(pagesFolder) || extension == "fpage" || extension == "rels" || extension == "dict";
}

std::string entryName(std::string_view folder, const fs::path& relative) {
    return std::string(folder) + "/" + relative.generic_string();
}

}  // namespace

struct XpsUtility::Run {
    archive::Archive archive;
    std::set<std::string> extracted;         // entries staged with the archive's bytes
    std::set<std::string> rewritten;         // staged entries whose bytes changed, or new ones
    std::vector<std::string> replacedTiffs;  // entry names of the TIFFs that were converted
};

XpsUtility XpsUtility::initWithXpsFile(const fs::path& xpsFile, float compressionLevel) {
    XpsUtility utility;
    utility.xpsFile_ = xpsFile;
    utility.compressionLevel_ = compressionLevel;
    if (std::optional<fs::path> temp = platform::userTempFolder()) utility.tempDir_ = standardizePath(temp->string());
    utility.defaultFileTypeList_ = xps::defaultFileTypes();
    return utility;
}

void XpsUtility::addFile(const fs::path& source, const std::string& entryName) {
    if (std::ranges::find(zipEntries_, entryName) != zipEntries_.end()) return;
    // A name that would leave the staging folder is never written.
    if (tempDir_.empty() || !archive::isSafeEntryName(entryName) || isContentTypesEntry(entryName)) return;
    const fs::path staged = stagingDir() / entryName;
    if (EpubPackagerFileUtility::createDirectoryAtPath(staged.parent_path())) copyFileAtomically(source, staged);
    packageParts_[source.string()] = entryName;
}

void XpsUtility::registerFileType(const std::string& extension) {
    if (registeredFileTypes_.contains(extension)) return;
    auto type = defaultFileTypeList_.find(extension);
    if (type != defaultFileTypeList_.end()) registeredFileTypes_.insert(*type);
}

bool XpsUtility::compressXps() {
    if (tempDir_.empty()) return false;
    try {
        std::optional<archive::Archive> archive = archive::Archive::open(xpsFile_);
        if (!archive) return false;
        Run run{std::move(*archive), {}, {}, {}};
        getZipEntries(run);
        extractResources(run);
        checkIfAnyImageHasAlpha();
        convertResources(run);
        renameImageReferences(run);
        deleteExistingZipEntries(run);
        addPartInfoToContentTypesXml(run);
        addLatestFilesToZip(run);
        return run.archive.commit();
    } catch (...) {
        return false;  // out of memory: the archive object discards every change
    }
}

void XpsUtility::getZipEntries(Run& run) { zipEntries_ = run.archive.entryNames(); }

// Only what can change is unpacked: the content types and the TIFF images. The
// parts naming the images follow once it is known that some were converted.
void XpsUtility::extractResources(Run& run) {
    EpubPackagerFileUtility::createDirectoryAtPath(stagingDir());
    std::vector<std::string> contentTypes, tiffs;
    for (const std::string& name : zipEntries_) {
        if (isContentTypesEntry(name)) contentTypes.push_back(xps::literalPattern(name));
        else if (isResourceImage(name) && isTiffName(name)) tiffs.push_back(name);
    }
    for (std::string& name : run.archive.extract(contentTypes, stagingDir())) run.extracted.insert(std::move(name));
    for (std::string& name : xps::extractInParallel(xpsFile_, tiffs, stagingDir())) run.extracted.insert(std::move(name));
}

void XpsUtility::checkIfAnyImageHasAlpha() {
    for (const fs::path& file : listFolder(stagingDir() / xps::resourcesFolder)) {
        if (someImageHasAlpha_) return;
        someImageHasAlpha_ = EpubPackagerImageUtility::isTiffFile(file) && EpubPackagerImageUtility::hasAlpha(file);
    }
}

void XpsUtility::convertResources(Run& run) {
    const fs::path resources = stagingDir() / xps::resourcesFolder;
    const std::vector<fs::path> files = listFolder(resources);
    // A converted image must not replace another one of its new name.
    std::set<std::string> taken;
    for (const std::string& name : zipEntries_)
        if (isResourceImage(name)) taken.insert(xps::lowerCase(fs::path(name).filename().string()));
    for (const fs::path& file : files) taken.insert(xps::lowerCase(file.filename().string()));

    std::vector<xps::TiffConversion> conversions;
    for (const fs::path& file : files) {
        if (!EpubPackagerImageUtility::isTiffFile(file)) continue;
        const std::string newName = file.stem().string() + (someImageHasAlpha_ ? ".png" : ".jpg");
        if (taken.insert(xps::lowerCase(newName)).second) conversions.push_back({file, resources / newName});
    }
    xps::convertTiffs(conversions, someImageHasAlpha_, compressionLevel_);

    for (const xps::TiffConversion& conversion : conversions) {
        if (!conversion.converted) continue;
        EpubPackagerFileUtility::remove(conversion.from);
        const std::string oldName = conversion.from.filename().string();
        imagesConverted_[oldName] = conversion.to.filename().string();
        run.replacedTiffs.push_back(entryName(xps::resourcesFolder, oldName));
    }
}

void XpsUtility::renameImageReferences(Run& run) {
    if (imagesConverted_.empty()) return;  // nothing to rename, nothing to retype
    std::vector<std::string> patterns;
    for (const std::string& name : zipEntries_)
        if (mayReferenceImages(name)) patterns.push_back(xps::literalPattern(name));
    std::vector<std::string> referencing = run.archive.extract(patterns, stagingDir());
    run.extracted.insert(referencing.begin(), referencing.end());

    auto rename = [&](std::string_view text) { return xps::renameReferences(text, imagesConverted_); };
    for (const std::string& name : referencing)
        if (xps::editText(stagingDir() / name, rename)) run.rewritten.insert(name);

    xps::ImageRetyping retyping{someImageHasAlpha_ ? "image/png" : "image/jpeg", {}, {}};
    for (const auto& [oldName, newName] : imagesConverted_)
        retyping.convertedParts.insert(xps::lowerCase("/" + entryName(xps::resourcesFolder, newName)));
    for (const std::string& name : zipEntries_)
        if (isTiffName(name) && std::ranges::find(run.replacedTiffs, name) == run.replacedTiffs.end())
            retyping.tiffExtensions.insert(xps::lowerExtension(name));
    auto renameAndRetype = [&](std::string_view text) { return xps::retypeImages(rename(text), retyping); };

    const fs::path contentTypes = stagingDir() / xps::contentTypesName;
    if (!isFolder(contentTypes)) {
        if (xps::editText(contentTypes, renameAndRetype)) run.rewritten.insert(std::string(xps::contentTypesName));
        return;
    }
    for (const fs::path& piece : xps::piecesInOrder(contentTypes))
        if (xps::editText(piece, renameAndRetype))
            run.rewritten.insert(entryName(xps::contentTypesName, piece.filename()));
}

void XpsUtility::deleteExistingZipEntries(Run& run) {
    std::vector<std::string> patterns;
    for (const std::string& name : run.replacedTiffs) patterns.push_back(xps::literalPattern(name));
    // Staged again, the enhanced content replaces the old one whole: entries
    // of an earlier run, under names not used this time, must not linger.
    if (isFolder(stagingDir() / enhancedContentFolder)) patterns.push_back(std::string(enhancedContentFolder) + "/*");
    run.archive.remove(patterns);
}

void XpsUtility::addPartInfoToContentTypesXml(Run& run) {
    const fs::path contentTypes = stagingDir() / xps::contentTypesName;
    std::optional<std::string> document = xps::readContentTypes(contentTypes);
    if (!document) return;
    xps::Declarations declared = xps::readDeclarations(*document);

    std::vector<xps::FileType> defaults;
    auto declare = [&](const std::string& extension, const std::string& contentType) {
        if (declared.defaultExtensions.insert(xps::lowerCase(extension)).second) defaults.emplace_back(extension, contentType);
    };
    // Converted images without an Override of their own need a Default.
    const bool undeclaredImage = std::ranges::any_of(imagesConverted_, [&](const auto& renamed) {
        return !declared.overriddenParts.contains(xps::lowerCase("/" + entryName(xps::resourcesFolder, renamed.second)));
    });
    if (undeclaredImage) declare(someImageHasAlpha_ ? "png" : "jpg", someImageHasAlpha_ ? "image/png" : "image/jpeg");

    const bool interleaved = isFolder(contentTypes);
    if (interleaved && !packageParts_.empty())
        for (const auto& [extension, contentType] : registeredFileTypes_) declare(extension, contentType);
    if (defaults.empty()) return;

    if (!interleaved) {
        if (xps::appendDefaults(contentTypes, defaults)) run.rewritten.insert(std::string(xps::contentTypesName));
        return;
    }
    for (const std::string& piece : xps::insertDefaultsPiece(contentTypes, defaults))
        run.rewritten.insert(entryName(xps::contentTypesName, piece));
}

void XpsUtility::addLatestFilesToZip(Run& run) {
    std::set<std::string> added;
    auto add = [&](const std::string& name) {
        if (added.contains(name)) return;
        // An unchanged entry stays as it is: libzip copies its bytes raw.
        if (run.extracted.contains(name) && !run.rewritten.contains(name)) return;
        if (run.archive.addFile(name, stagingDir() / name)) added.insert(name);
    };

    // Pieces are written in number order, so that a reader going through the
    // archive in order sees one well-formed document.
    const fs::path contentTypes = stagingDir() / xps::contentTypesName;
    const std::string piecePrefix = std::string(xps::contentTypesName) + "/";
    const bool piecesChanged = std::ranges::any_of(run.rewritten, [&](const std::string& name) { return name.starts_with(piecePrefix); });
    if (isFolder(contentTypes) && piecesChanged) {
        run.archive.remove({xps::literalPattern(piecePrefix) + "*"});
        for (const fs::path& piece : xps::piecesInOrder(contentTypes)) {
            const std::string name = entryName(xps::contentTypesName, piece.filename());
            if (run.archive.addFile(name, piece)) added.insert(name);
        }
    }

    for (std::string_view folder : {xps::resourcesFolder, documentsFolder})
        for (const fs::path& relative : walkFolder(stagingDir() / folder))
            if (!isFolder(stagingDir() / folder / relative)) add(entryName(folder, relative));
    for (const auto& [source, name] : packageParts_) add(name);
    for (const std::string& name : run.rewritten) add(name);
}

}  // namespace packager
