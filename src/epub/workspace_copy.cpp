#include "epub/workspace_copy.h"

#include <system_error>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/unicode.h"

namespace packager {

namespace {

// A link could bring in any file of the user's, and a name that is not
// UTF-8 cannot be written into the book.
bool isEligible(const fs::path& from, const fs::path& to) {
    return isPlainFile(from) && isValidUtf8(to.filename().string());
}

}  // namespace

bool placeFile(const fs::path& from, const fs::path& to) { return isEligible(from, to) && linkOrCopyFile(from, to); }

bool placeIfEligible(const fs::path& from, const fs::path& to) {
    return !isEligible(from, to) || placeFile(from, to);
}

bool placeTree(const fs::path& from, const fs::path& to) {
    std::error_code error;
    // A linked folder is no part of the export: nothing of it is placed.
    if (!isPlainFolder(from)) return true;
    bool placed = EpubPackagerFileUtility::createDirectoryAtPath(to);
    for (const fs::path& relative : walkFolder(from)) {
        if (!isValidUtf8(relative.string())) continue;  // the book could not hold it
        const fs::path source = from / relative;
        if (fs::is_directory(source, error)) {
            if (!EpubPackagerFileUtility::createDirectoryAtPath(to / relative)) placed = false;
        } else if (!placeIfEligible(source, to / relative)) {
            placed = false;
        }
    }
    return placed;
}

}  // namespace packager
