// The book's archive: "mimetype" first, then every file below META-INF and
// OEBPS in name order, all stored. The archive layer writes it under a
// temporary name beside the destination and renames it into place, so a
// failed run never leaves a partial book there.
#include "common/archive/archive.h"
#include "common/file/file_io.h"
#include "epub/epub_packager.h"

namespace packager {

namespace {

void addFilesBelow(std::vector<archive::Entry>& entries, const fs::path& output, const std::string& folder) {
    for (const fs::path& relative : walkFolder(output / folder)) {
        const fs::path file = output / folder / relative;
        if (exists(file) && !isFolder(file))
            entries.push_back({folder + "/" + relative.generic_string(), file});
    }
}

}  // namespace

bool EpubPackager::generateEpubFile() {
    const fs::path output = outputDir();
    std::vector<archive::Entry> entries;
    if (exists(output / "mimetype")) entries.push_back({"mimetype", output / "mimetype"});
    addFilesBelow(entries, output, "META-INF");
    addFilesBelow(entries, output, "OEBPS");

    fs::path target = destDir_ / destFileName_;
    // A folder of that name receives the book inside it, under the same name.
    if (isFolder(target)) target /= destFileName_;
    return archive::writeStoredArchive(target, entries);
}

}  // namespace packager
