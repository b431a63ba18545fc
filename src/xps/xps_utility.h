#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace packager {

namespace fs = std::filesystem;

// Updates one XPS package in place: its TIFF images are recompressed (to JPEG,
// or to PNG when any of them has alpha) with every reference renamed, the
// files it is given are added under their entry names, and the registered
// extensions are declared in an interleaved [Content_Types].xml. Whatever its
// form, the content types then give every part the update writes a type.
//
// Files are staged below the caller's staging folder (see XpsStaging). The archive on
// disk is changed by one atomic commit: until compressXps() succeeds it is the
// original, byte for byte. A part is removed only when it is replaced, and an
// image is converted only when every part that may name it could be rewritten.
// Where an update works, and the part of the package its caller rebuilds.
struct XpsStaging {
    // A folder the caller owns, mirroring the archive's entry names; nothing
    // in it is added unless given by addFile() or addStagedFile().
    fs::path folder;
    // An entry folder ("Documents/1/Other/KNFB") the caller rebuilds whole:
    // when staged, its old entries are removed, and its parts are not searched
    // for image names. Empty when there is none.
    std::string replacedFolder;
};

class XpsUtility {
public:
    // Nothing is read or written yet; `compressionLevel` is the JPEG quality
    // (0..1) of converted images.
    static XpsUtility initWithXpsFile(const fs::path& xpsFile, float compressionLevel, XpsStaging staging);

    // Copies `source` into the staging tree as `entryName` (folders created as
    // needed) and records it, unless the listing step has already seen an
    // entry of that name; a name that would leave the staging tree, is not
    // UTF-8, or names the content types, is skipped. False when the copy failed: the
    // package would then lack a file asked for, so compressXps() refuses.
    bool addFile(const fs::path& source, const std::string& entryName);
    // Records the file the caller placed in the staging folder at `entryName`
    // itself, to be added as it is; a name that would leave the staging tree,
    // is not UTF-8, or is the content types' own, is skipped.
    void addStagedFile(const std::string& entryName);

    // Declares `extension` when it is one of the default file types and not
    // yet registered; anything else is ignored.
    void registerFileType(const std::string& extension);

    // Runs the whole update. True when the updated package reached the disk;
    // false leaves the file exactly as it was: when a file handed in could not
    // be staged or added, when the content types cannot be read whole, or
    // when a rewritten part cannot be written.
    bool compressXps();

    const fs::path& xpsFile() const { return xpsFile_; }
    float compressionLevel() const { return compressionLevel_; }
    const fs::path& stagingDir() const { return staging_.folder; }
    const std::vector<std::string>& zipEntries() const { return zipEntries_; }
    const std::map<std::string, std::string>& defaultFileTypeList() const { return defaultFileTypeList_; }
    const std::map<std::string, std::string>& registeredFileTypes() const { return registeredFileTypes_; }
    const std::map<std::string, std::string>& packageParts() const { return packageParts_; }
    const std::map<std::string, std::string>& imagesConverted() const { return imagesConverted_; }
    bool someImageHasAlpha() const { return someImageHasAlpha_; }

private:
    struct Run;  // one compressXps() call: the open archive and what changed

    XpsUtility() = default;
    void getZipEntries(Run& run);
    bool extractResources(Run& run);
    std::vector<std::string> convertibleTiffs(const Run& run) const;
    void convertResources(Run& run, const std::vector<std::string>& tiffs);
    bool renameImageReferences(Run& run);
    void deleteExistingZipEntries(Run& run);
    std::vector<std::string> entriesToAdd() const;
    bool addPartInfoToContentTypesXml(Run& run, const std::vector<std::string>& staged);
    bool addLatestFilesToZip(Run& run, const std::vector<std::string>& staged);

    fs::path xpsFile_;
    float compressionLevel_ = 0;
    XpsStaging staging_;
    std::vector<std::string> zipEntries_;
    std::map<std::string, std::string> defaultFileTypeList_;
    std::map<std::string, std::string> registeredFileTypes_;
    std::map<std::string, std::string> packageParts_;  // source path -> entry name
    std::vector<std::string> stagedParts_;             // entry names placed by the caller
    std::map<std::string, std::string> imagesConverted_;
    bool someImageHasAlpha_ = false;
    bool stagingFailed_ = false;  // some addFile() copy failed
};

}  // namespace packager
