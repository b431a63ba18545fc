#include "xps/xps_utility.h"

#include <algorithm>
#include <set>
#include <utility>

#include "common/archive/archive.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/ascii_case.h"
#include "common/text/unicode.h"
#include "xps/content_types.h"
#include "xps/default_file_types.h"
#include "xps/part_names.h"
#include "xps/reference_renaming.h"
#include "xps/text_encoding.h"
#include "xps/tiff_conversion.h"

namespace packager {

namespace {

constexpr std::string_view pagesFolder = "Documents/1/Pages/";

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
    return lowerCased(entryName).find(lowerCased(xps::contentTypesName)) != std::string::npos;
}

// The package's own content types: the single entry or one of its pieces.
bool isContentTypesPart(std::string_view entryName) {
    return entryName == xps::contentTypesName ||
           (entryName.starts_with(xps::contentTypesName) && entryName[xps::contentTypesName.size()] == '/');
}

// Parts that may name an image: the fixed pages with their relationship
// parts, wherever the package keeps them, and shared resource dictionaries.
// The folder the caller rebuilds is left out: its new version is staged already.
bool mayReferenceImages(std::string_view entryName, std::string_view replacedFolder) {
    if (!replacedFolder.empty() && entryName.starts_with(replacedFolder)) return false;
    const std::string extension = xps::lowerExtension(entryName);
    return entryName.starts_with(pagesFolder) || extension == "fpage" || extension == "rels" || extension == "dict";
}

std::string entryName(std::string_view folder, const fs::path& relative) {
    return std::string(folder) + "/" + relative.generic_string();
}


}  // namespace

struct XpsUtility::Run {
    explicit Run(archive::Archive opened) : archive(std::move(opened)) {}

    archive::Archive archive;
    std::set<std::string> rewritten;         // staged entries whose bytes changed, or new ones
    std::vector<std::string> tiffs;          // Resources TIFFs, left in the archive until converted
    std::vector<std::string> referencing;    // staged parts that may name them, content types included
    bool referencingComplete = true;         // false when such a part could not be staged
    std::vector<std::string> replacedTiffs;  // entry names of the TIFFs that were converted
};

XpsUtility XpsUtility::initWithXpsFile(const fs::path& xpsFile, float compressionLevel, XpsStaging staging) {
    XpsUtility utility;
    utility.xpsFile_ = xpsFile;
    utility.compressionLevel_ = compressionLevel;
    utility.staging_ = std::move(staging);
    utility.defaultFileTypeList_ = xps::defaultFileTypes();
    return utility;
}

bool XpsUtility::addFile(const fs::path& source, const std::string& entryName) {
    if (std::ranges::find(zipEntries_, entryName) != zipEntries_.end()) return true;
    // A name that would leave the staging folder is never written, and one
    // that is not UTF-8 the package could not hold.
    if (stagingDir().empty() || !archive::isSafeEntryName(entryName) || !isValidUtf8(entryName) || isContentTypesEntry(entryName))
        return true;
    const fs::path staged = stagingDir() / entryName;
    const bool copied =
        EpubPackagerFileUtility::createDirectoryAtPath(staged.parent_path()) && copyFileAtomically(source, staged);
    packageParts_[source.string()] = entryName;
    stagingFailed_ = stagingFailed_ || !copied;
    return copied;
}

void XpsUtility::addStagedFile(const std::string& entryName) {
    if (!stagingDir().empty() && archive::isSafeEntryName(entryName) && isValidUtf8(entryName) &&
        !isContentTypesPart(entryName))
        stagedParts_.push_back(entryName);
}

void XpsUtility::registerFileType(const std::string& extension) {
    if (registeredFileTypes_.contains(extension)) return;
    auto type = defaultFileTypeList_.find(extension);
    if (type != defaultFileTypeList_.end()) registeredFileTypes_.insert(*type);
}

bool XpsUtility::compressXps() {
    if (stagingDir().empty() || stagingFailed_) return false;
    try {
        std::optional<archive::Archive> archive = archive::Archive::open(xpsFile_);
        if (!archive) return false;
        Run run(std::move(*archive));
        getZipEntries(run);
        if (!extractResources(run)) return false;
        convertResources(run, convertibleTiffs(run));
        if (!renameImageReferences(run)) return false;
        deleteExistingZipEntries(run);
        const std::vector<std::string> staged = entriesToAdd();
        if (!addPartInfoToContentTypesXml(run, staged) || !addLatestFilesToZip(run, staged)) return false;
        return run.archive.commit();
    } catch (...) {
        return false;  // out of memory: the archive object discards every change
    }
}

void XpsUtility::getZipEntries(Run& run) { zipEntries_ = run.archive.entryNames(); }

// Only what can change is unpacked: the content types and, when there are
// TIFF images, the parts that may name them; the TIFFs are read straight from
// the archive when converted. False when the content types cannot be unpacked
// whole (a damaged or encrypted piece, a bomb, a full disk): rewriting the
// pieces that could be would lose the others.
bool XpsUtility::extractResources(Run& run) {
    EpubPackagerFileUtility::createDirectoryAtPath(stagingDir());
    std::set<std::string> handedIn;  // staged already, to replace the archive's part
    for (const auto& [source, name] : packageParts_) handedIn.insert(name);
    std::vector<std::string> contentTypes, tiffs, referencing;
    for (const std::string& name : zipEntries_) {
        // A folder entry holds nothing; a part handed in replaces the archive's.
        if (name.ends_with('/') || handedIn.contains(name)) continue;
        if (isContentTypesPart(name)) contentTypes.push_back(name);
        else if (isResourceImage(name) && isTiffName(name)) tiffs.push_back(name);
        else if (mayReferenceImages(name, staging_.replacedFolder)) referencing.push_back(name);
    }
    run.referencing = run.archive.extract({contentTypes}, stagingDir());
    if (run.referencing.size() != contentTypes.size()) return false;

    run.tiffs = tiffs;
    if (!run.tiffs.empty()) {
        std::vector<std::string> parts = run.archive.extract({referencing}, stagingDir());
        run.referencingComplete = parts.size() == referencing.size();
        run.referencing.insert(run.referencing.end(), parts.begin(), parts.end());
    }
    return true;
}

// A TIFF is converted only when every part that names it will name its
// successor: none when some part that may name them could not be unpacked,
// and none that a part names in a way the renaming cannot rewrite.
std::vector<std::string> XpsUtility::convertibleTiffs(const Run& run) const {
    if (!run.referencingComplete) return {};
    std::set<std::string> names;
    for (const std::string& tiff : run.tiffs) names.insert(fs::path(tiff).filename().string());
    for (const std::string& part : run.referencing) {
        if (names.empty()) break;
        for (const std::string& mentioned : xps::mentionsLeftByRenaming(readFile(stagingDir() / part), names))
            names.erase(mentioned);
    }
    std::vector<std::string> entries;
    for (const std::string& name : names) entries.push_back(entryName(xps::resourcesFolder, name));
    return entries;
}

// Every TIFF becomes a JPEG, or a PNG when any of them has alpha. Most books
// have none, so the JPEGs are written while looking for it, each TIFF read and
// decoded once; only when some TIFF has alpha are they discarded for PNGs.
void XpsUtility::convertResources(Run& run, const std::vector<std::string>& tiffs) {
    if (tiffs.empty()) return;
    const fs::path resources = stagingDir() / xps::resourcesFolder;
    // A converted image must not replace another part of its new name, one of
    // the package's or one given to add (nothing is converted yet).
    std::set<std::string> taken;
    auto take = [&](const std::string& name) {
        if (isResourceImage(name)) taken.insert(lowerCased(fs::path(name).filename().string()));
    };
    std::ranges::for_each(zipEntries_, take);
    std::ranges::for_each(entriesToAdd(), take);
    auto plan = [&](std::string_view extension) {
        std::set<std::string> names = taken;
        std::vector<xps::TiffConversion> conversions;
        for (const std::string& tiff : tiffs) {
            const std::string newName = fs::path(tiff).stem().string() + std::string(extension);
            conversions.push_back({tiff, names.insert(lowerCased(newName)).second ? resources / newName : fs::path()});
        }
        return conversions;
    };

    EpubPackagerFileUtility::createDirectoryAtPath(resources);  // the TIFFs were not unpacked there
    const xps::TiffSource source{xpsFile_, stagingDir()};
    std::vector<xps::TiffConversion> conversions = plan(".jpg");
    someImageHasAlpha_ = xps::convertTiffs(source, conversions, false, compressionLevel_);
    if (someImageHasAlpha_) {
        for (const xps::TiffConversion& conversion : conversions)
            if (conversion.converted) EpubPackagerFileUtility::remove(conversion.to);
        conversions = plan(".png");
        xps::convertTiffs(source, conversions, true, compressionLevel_);
    }

    for (const xps::TiffConversion& conversion : conversions) {
        if (!conversion.converted) continue;
        imagesConverted_[fs::path(conversion.entry).filename().string()] = conversion.to.filename().string();
        run.replacedTiffs.push_back(conversion.entry);
    }
}

// False when a part that had to change could not be written.
bool XpsUtility::renameImageReferences(Run& run) {
    if (imagesConverted_.empty()) return true;  // nothing to rename, nothing to retype
    auto edit = [&](const fs::path& file, const std::string& name, const auto& change) {
        const xps::EditOutcome outcome = xps::editText(file, change);
        if (outcome == xps::EditOutcome::rewritten) run.rewritten.insert(name);
        return outcome != xps::EditOutcome::writeFailed;
    };

    auto rename = [&](std::string_view text) { return xps::renameReferences(text, imagesConverted_); };
    for (const std::string& name : run.referencing)
        if (!isContentTypesPart(name) && !edit(stagingDir() / name, name, rename)) return false;

    xps::ImageRetyping retyping{someImageHasAlpha_ ? "image/png" : "image/jpeg", imagesConverted_, {}};
    for (const std::string& name : zipEntries_)
        if (isTiffName(name) && std::ranges::find(run.replacedTiffs, name) == run.replacedTiffs.end())
            retyping.tiffExtensions.insert(xps::lowerExtension(name));
    const std::optional<std::vector<std::string>> retyped = xps::retypeImages(stagingDir() / xps::contentTypesName, retyping);
    if (!retyped) return false;
    run.rewritten.insert(retyped->begin(), retyped->end());
    return true;
}

void XpsUtility::deleteExistingZipEntries(Run& run) {
    archive::EntrySelection removed{run.replacedTiffs};
    // Staged again, the enhanced content replaces the old one whole: entries
    // of an earlier run, under names not used this time, must not linger.
    const std::string& replaced = staging_.replacedFolder;
    if (!replaced.empty() && isFolder(stagingDir() / replaced)) removed.prefixes.push_back(replaced + "/");
    run.archive.remove(removed);
}

// The entries written from the staging tree: the converted images, then the
// files given, each once, folder by folder in name order (a folder's files
// before those of a later sibling), so that the package does not depend on the
// order they were given in.
std::vector<std::string> XpsUtility::entriesToAdd() const {
    std::vector<std::string> names;
    for (const auto& [oldName, newName] : imagesConverted_) names.push_back(entryName(xps::resourcesFolder, newName));
    std::ranges::sort(names);
    // Paths compare name by name: the order of a walk through the tree.
    std::set<fs::path> given(stagedParts_.begin(), stagedParts_.end());
    for (const auto& [source, name] : packageParts_) given.insert(name);
    for (const fs::path& name : given) names.push_back(name.string());
    return names;
}

// False when declarations were due but could not be written.
bool XpsUtility::addPartInfoToContentTypesXml(Run& run, const std::vector<std::string>& staged) {
    const fs::path contentTypes = stagingDir() / xps::contentTypesName;
    std::optional<std::string> document = xps::readContentTypes(contentTypes);
    if (!document) return true;  // a package without content types: nowhere to declare anything
    xps::Declarations declared = xps::readDeclarations(*document);

    std::vector<xps::Declaration> declarations;
    auto declare = [&](const std::string& extension, const std::string& contentType) {
        if (declared.defaultExtensions.insert(lowerCased(extension)).second)
            declarations.push_back({xps::Declaration::Kind::extension, extension, contentType});
    };
    const bool interleaved = isFolder(contentTypes);
    if (interleaved && !packageParts_.empty())
        for (const auto& [extension, contentType] : registeredFileTypes_) declare(extension, contentType);
    // Package readers refuse a package in which a part has no content type, so
    // whatever the form of the document, every part written gets one: by its
    // extension, or by its own name when it has none.
    for (const std::string& name : staged) {
        const std::string partName = "/" + name, extension = xps::lowerExtension(name);
        if (declared.overriddenParts.contains(xps::comparablePartName(partName))) continue;
        if (!extension.empty()) declare(extension, xps::contentTypeForExtension(extension));
        else if (declared.overriddenParts.insert(xps::comparablePartName(partName)).second)
            declarations.push_back({xps::Declaration::Kind::part, partName, xps::contentTypeForExtension(extension)});
    }
    if (declarations.empty()) return true;

    if (!interleaved) {
        if (!xps::appendDeclarations(contentTypes, declarations)) return false;
        run.rewritten.insert(std::string(xps::contentTypesName));
        return true;
    }
    const std::vector<std::string> pieces = xps::insertDeclarationsPiece(contentTypes, declarations);
    for (const std::string& piece : pieces) run.rewritten.insert(entryName(xps::contentTypesName, piece));
    return !pieces.empty();
}

// False when a staged file cannot be added: the package would lack it, or a
// part removed for it would be lost.
bool XpsUtility::addLatestFilesToZip(Run& run, const std::vector<std::string>& staged) {
    std::set<std::string> added;
    auto add = [&](const std::string& name) {
        if (added.contains(name)) return true;
        return run.archive.addFile(name, stagingDir() / name) && added.insert(name).second;
    };

    // Pieces are written in number order, so that a reader going through the
    // archive in order sees one well-formed document. Every piece is staged
    // (extractResources() saw to that), so removing them all loses none.
    const fs::path contentTypes = stagingDir() / xps::contentTypesName;
    const std::string piecePrefix = std::string(xps::contentTypesName) + "/";
    const bool piecesChanged = std::ranges::any_of(run.rewritten, [&](const std::string& name) { return name.starts_with(piecePrefix); });
    if (isFolder(contentTypes) && piecesChanged) {
        run.archive.remove({{}, {piecePrefix}});
        for (const fs::path& piece : xps::piecesInOrder(contentTypes)) {
            const std::string name = entryName(xps::contentTypesName, piece.filename());
            if (!run.archive.addFile(name, piece)) return false;
            added.insert(name);
        }
    }

    for (const std::string& name : staged)
        if (!add(name)) return false;
    // Pieces were all added above: one renamed by the new declarations is
    // gone from the staging folder under its old name.
    for (const std::string& name : run.rewritten)
        if (!name.starts_with(piecePrefix) && !add(name)) return false;
    return true;
}

}  // namespace packager
