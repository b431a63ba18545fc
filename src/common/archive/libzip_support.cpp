#include "common/archive/libzip_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace packager::archive::detail {

namespace {

constexpr std::size_t chunkSize = 64 * 1024;

bool hasPlausibleSize(const zip_stat_t& stat) {
    constexpr zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE;
    if ((stat.valid & needed) != needed) return false;
    if (stat.size > maxEntrySize) return false;
    // Past this point the product below cannot overflow.
    if (stat.comp_size >= maxEntrySize) return true;
    return stat.size <= stat.comp_size * maxCompressionRatio;
}

// libzip only notices a missing file when zip_close() reads it; checking here
// lets the caller learn of the problem at the call that caused it.
bool isReadableRegularFile(const char* file) {
    int fd = ::open(file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not block the check
    if (fd < 0) return false;
    struct stat info {};
    bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular;
}

// The most a deflate stream can take for `size` bytes: stored blocks of at
// most 65535 bytes, each with a 5-byte header.
zip_uint64_t largestDeflateStream(zip_uint64_t size) { return size + 5 * (size / 65535 + 1); }

// Plain deflate, unencrypted, with its CRC known and small enough to hold. The
// compressed size is what gets allocated before reading, so a directory that
// claims more than deflate could ever produce is not believed.
bool inflatesWhole(const zip_stat_t& stat) {
    constexpr zip_uint64_t needed = ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD | ZIP_STAT_CRC;
    return (stat.valid & needed) == needed && stat.comp_method == ZIP_CM_DEFLATE &&
           stat.encryption_method == ZIP_EM_NONE && stat.size <= maxWholeEntrySize &&
           stat.comp_size <= largestDeflateStream(stat.size);
}

std::optional<zip_stat_t> plausibleEntry(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || !hasPlausibleSize(stat)) return std::nullopt;
    return stat;
}

bool streamChunks(zip_t* archive, zip_uint64_t index, const zip_stat_t& stat,
                  const std::function<bool(std::span<const char>)>& sink) {
    EntryHandle entry(zip_fopen_index(archive, index, 0));
    if (!entry) return false;
    std::vector<char> buffer(chunkSize);
    zip_uint64_t total = 0;
    for (;;) {
        zip_int64_t count = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (count < 0) return false;
        if (count == 0) break;
        total += static_cast<zip_uint64_t>(count);
        // The directory's size is what the checks above trusted; do not let
        // the data exceed it.
        if (total > stat.size) return false;
        if (!sink(std::span<const char>(buffer.data(), static_cast<std::size_t>(count)))) return false;
    }
    return total == stat.size;
}

}  // namespace

bool streamEntry(zip_t* archive, zip_uint64_t index, const std::function<bool(std::span<const char>)>& sink) {
    std::optional<zip_stat_t> stat = plausibleEntry(archive, index);
    if (!stat) return false;
    if (!inflatesWhole(*stat)) return streamChunks(archive, index, *stat, sink);
    std::optional<std::string> bytes = inflateWhole(archive, index, *stat);
    return bytes && sink(*bytes);
}

std::optional<std::string> readEntry(zip_t* archive, zip_uint64_t index) {
    std::optional<zip_stat_t> stat = plausibleEntry(archive, index);
    if (!stat || stat->size > maxWholeEntrySize) return std::nullopt;
    if (inflatesWhole(*stat)) return inflateWhole(archive, index, *stat);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(stat->size));
    bool complete = streamChunks(archive, index, *stat, [&](std::span<const char> chunk) {
        bytes.append(chunk.data(), chunk.size());
        return true;
    });
    if (!complete) return std::nullopt;
    return bytes;
}

bool addStoredFile(zip_t* archive, const char* name, const char* file, zip_flags_t flags) {
    if (!isReadableRegularFile(file)) return false;
    zip_error_t error;
    zip_error_init(&error);
    SourceHandle source(zip_source_file_create(file, 0, 0, &error));
    zip_error_fini(&error);
    if (!source) return false;

    zip_int64_t index = zip_file_add(archive, name, source.get(), flags | ZIP_FL_ENC_UTF_8);
    if (index < 0) return false;
    source.release();  // the archive owns it now
    return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) == 0;
}

}  // namespace packager::archive::detail
