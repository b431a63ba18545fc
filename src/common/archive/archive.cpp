#include "common/archive/archive.h"

#include <algorithm>
#include <utility>

#include "common/archive/libzip_support.h"
#include "common/platform/system_log.h"

namespace packager::archive {

void Archive::Close::operator()(zip* archive) const { zip_discard(archive); }

Archive::Archive(zip* handle) : handle(handle) {}
Archive::Archive(Archive&&) noexcept = default;
Archive& Archive::operator=(Archive&&) noexcept = default;
Archive::~Archive() = default;

std::optional<Archive> Archive::open(const fs::path& file) {
    // libzip accepts an empty file as an empty archive; nothing we read or
    // update is ever empty, so treat it as what it most likely is: damaged.
    std::error_code error;
    if (fs::file_size(file, error) == 0 || error) return std::nullopt;
    detail::SourceHandle source = detail::createFileSource(file, true);
    if (!source) return std::nullopt;
    zip_error_t failure;
    zip_error_init(&failure);
    zip* handle = zip_open_from_source(source.get(), 0, &failure);
    if (handle == nullptr) logMessage("cannot open " + file.string() + " as an archive: " + zip_error_strerror(&failure));
    zip_error_fini(&failure);
    if (handle == nullptr) return std::nullopt;  // the source is still ours to free
    source.release();
    return Archive(handle);
}

std::vector<std::string> Archive::entryNames() const {
    std::vector<std::string> names;
    if (!handle) return names;
    zip_int64_t count = zip_get_num_entries(handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i)
        // Entries deleted by remove() have no name.
        if (const char* name = zip_get_name(handle.get(), static_cast<zip_uint64_t>(i), 0)) names.emplace_back(name);
    return names;
}

std::optional<std::uint64_t> Archive::declaredSize(std::string_view name) const {
    if (!handle) return std::nullopt;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(handle.get(), std::string(name).c_str(), 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0)
        return std::nullopt;
    return stat.size;
}

std::optional<std::string> Archive::read(std::string_view name) const {
    if (!handle) return std::nullopt;
    zip_int64_t index = zip_name_locate(handle.get(), std::string(name).c_str(), 0);
    if (index < 0) return std::nullopt;
    return detail::readEntry(handle.get(), static_cast<zip_uint64_t>(index));
}

void Archive::remove(const EntrySelection& selection) {
    if (!handle) return;
    zip_int64_t count = zip_get_num_entries(handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(handle.get(), index, 0);
        if (name == nullptr) continue;  // already deleted
        if (selection.contains(name)) zip_delete(handle.get(), index);
    }
}

bool Archive::addFile(std::string_view name, const fs::path& source) {
    // A trailing "/" would make a folder entry.
    if (!handle || name.empty() || name.back() == '/') return false;
    return detail::addStoredFile(handle.get(), std::string(name).c_str(), source.c_str(), ZIP_FL_OVERWRITE);
}

bool Archive::commit() {
    if (!handle) return false;
    // With no entry left, zip_close() would delete the file.
    if (entryNames().empty()) {
        handle.reset();
        return false;
    }
    // On failure zip_close() discards its staged file and leaves the handle
    // to us.
    if (zip_close(handle.get()) != 0) {
        handle.reset();
        return false;
    }
    handle.release();
    return true;
}

}  // namespace packager::archive
