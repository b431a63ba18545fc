// The book's archive: "mimetype" first, then every other file of the book in
// name order, all stored. The archive layer writes it under a temporary name
// beside the destination and renames it into place, so a failed run never
// leaves a partial book there.
#include "common/archive/archive.h"
#include "common/file/file_io.h"
#include "epub/build_steps.h"

namespace packager {

bool generateEpubFile(const fs::path& output, const BookFiles& structure, const BookFiles& placed, fs::path target) {
    const fs::path mimetype = "mimetype";
    std::vector<archive::Entry> entries;
    if (structure.contains(mimetype)) entries.push_back({mimetype.string(), output / mimetype});
    for (const fs::path& file : structure)
        if (file != mimetype) entries.push_back({file.generic_string(), output / file});
    for (const fs::path& file : placed)
        entries.push_back({"OEBPS/" + file.generic_string(), output / "OEBPS" / file});

    // A folder of that name receives the book inside it, under the same name.
    if (isFolder(target)) target /= target.filename();
    return archive::writeStoredArchive(target, entries);
}

}  // namespace packager
