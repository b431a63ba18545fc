#include "common/archive/archive.h"

#include <string_view>

#include "common/archive/libzip_support.h"
#include "common/file/file_io.h"

namespace packager::archive {

namespace {

// libzip removes an archive left without entries instead of writing one, so
// an empty archive is its end-of-central-directory record alone.
constexpr char kEmptyArchive[22] = {'P', 'K', 5, 6};

bool writeEntries(const fs::path& file, const std::vector<Entry>& entries) {
    // The source reads as a missing file, so whatever is at `file` now is
    // neither read nor touched until the finished archive replaces it.
    detail::SourceHandle source = detail::createFileSource(file, false);
    if (!source) return false;
    zip_error_t error;
    zip_error_init(&error);
    detail::ArchiveHandle archive(zip_open_from_source(source.get(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    zip_error_fini(&error);
    if (!archive) return false;
    source.release();  // the archive owns it now
    for (const Entry& entry : entries) {
        // A trailing "/" would make a folder entry.
        if (entry.name.empty() || entry.name.back() == '/') return false;
        // Without ZIP_FL_OVERWRITE a repeated name fails here.
        if (!detail::addStoredFile(archive.get(), entry.name.c_str(), entry.file.c_str(), 0)) return false;
    }
    // zip_close() reads the files in chunks as it writes; on failure the
    // handle is still ours and the deleter discards it.
    if (zip_close(archive.get()) != 0) return false;
    archive.release();
    return true;
}

}  // namespace

bool writeStoredArchive(const fs::path& archive, const std::vector<Entry>& entries) {
    if (entries.empty()) return writeFileAtomically(archive, std::string_view(kEmptyArchive, sizeof kEmptyArchive));
    return writeEntries(archive, entries);
}

}  // namespace packager::archive
