#include "common/file/writable_folder.h"

#include <string>
#include <system_error>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"

namespace packager {

namespace {

constexpr std::string_view kProbeName = "dummyfolder";

}  // namespace

bool isWritableFolder(const fs::path& folder) {
    const fs::path base = folder.empty() ? fs::path(".") : folder;
    if (!EpubPackagerFileUtility::createDirectoryAtPath(base)) return false;
    fs::path probe = base / kProbeName;
    if (exists(probe)) probe = base / (std::string(kProbeName) + "-" + EpubPackagerFileUtility::randomFileName());
    std::error_code error;
    if (!fs::create_directory(probe, error)) return false;
    fs::remove(probe, error);
    return true;
}

}  // namespace packager
