#include "common/archive/archive.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "common/archive/libzip_support.h"

namespace packager::archive {

void Archive::Close::operator()(zip* archive) const { zip_discard(archive); }

Archive::Archive(zip* handle, fs::path file) : handle(handle), file(std::move(file)) {}
Archive::Archive(Archive&&) noexcept = default;
Archive& Archive::operator=(Archive&&) noexcept = default;
Archive::~Archive() = default;

std::optional<Archive> Archive::open(const fs::path& file) {
    // libzip accepts an empty file as an empty archive; nothing we read or
    // update is ever empty, so treat it as what it most likely is: damaged.
    std::error_code error;
    if (fs::file_size(file, error) == 0 || error) return std::nullopt;
    int code = 0;
    zip* handle = zip_open(file.c_str(), 0, &code);
    if (handle == nullptr) return std::nullopt;
    return Archive(handle, file);
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

std::optional<std::string> Archive::read(std::string_view name) const {
    if (!handle) return std::nullopt;
    zip_int64_t index = zip_name_locate(handle.get(), std::string(name).c_str(), 0);
    if (index < 0) return std::nullopt;
    std::string bytes;
    bool complete = detail::streamEntry(handle.get(), static_cast<zip_uint64_t>(index), [&](std::span<const char> chunk) {
        bytes.append(chunk.data(), chunk.size());
        return true;
    });
    if (!complete) return std::nullopt;
    return bytes;
}

void Archive::remove(const std::vector<std::string>& patterns) {
    if (!handle) return;
    zip_int64_t count = zip_get_num_entries(handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(handle.get(), index, 0);
        if (name == nullptr) continue;  // already deleted
        if (std::ranges::any_of(patterns, [&](const std::string& pattern) { return matchesPattern(pattern, name); }))
            zip_delete(handle.get(), index);
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
    struct stat before {};
    bool knownMode = ::stat(file.c_str(), &before) == 0;
    // On failure zip_close() removes its temporary file and leaves the
    // handle to us.
    if (zip_close(handle.get()) != 0) {
        handle.reset();
        return false;
    }
    handle.release();
    // libzip 1.7 carries the mode over to its temporary file; other versions
    // may not, and a lost read bit would lock readers out.
    constexpr mode_t modeBits = 07777;
    struct stat after {};
    if (knownMode && ::stat(file.c_str(), &after) == 0 && (after.st_mode & modeBits) != (before.st_mode & modeBits))
        ::chmod(file.c_str(), before.st_mode & modeBits);
    return true;
}

}  // namespace packager::archive
