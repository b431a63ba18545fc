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

bool placeIfEligible(const fs::path& from, const fs::path& oebps, const fs::path& inBook, BookFiles& placed) {
    if (!isEligible(from, oebps / inBook)) return true;
    if (!placeFile(from, oebps / inBook)) return false;
    placed.insert(inBook);
    return true;
}

bool placeTree(const fs::path& from, const fs::path& oebps, const fs::path& inBook, BookFiles& placed) {
    std::error_code error;
    // A linked folder is no part of the export: nothing of it is placed.
    if (!isPlainFolder(from)) return true;
    bool complete = EpubPackagerFileUtility::createDirectoryAtPath(oebps / inBook);
    for (const fs::path& relative : walkFolder(from)) {
        if (!isValidUtf8(relative.string())) continue;  // the book could not hold it
        const fs::path source = from / relative;
        if (fs::is_directory(source, error)) {
            if (!EpubPackagerFileUtility::createDirectoryAtPath(oebps / inBook / relative)) complete = false;
        } else if (!placeIfEligible(source, oebps, inBook / relative, placed)) {
            complete = false;
        }
    }
    return complete;
}

}  // namespace packager
