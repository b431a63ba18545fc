#include "common/archive/libzip_support.h"

#include <libdeflate.h>

namespace packager::archive::detail {

namespace {

struct FreeDecompressor {
    void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};
// Cheap to make, and not to be shared between threads: one per entry.
using Decompressor = std::unique_ptr<libdeflate_decompressor, FreeDecompressor>;

// The entry's data as stored, without inflating it or checking its CRC.
std::optional<std::string> readRaw(zip_t* archive, zip_uint64_t index, zip_uint64_t size) {
    EntryHandle entry(zip_fopen_index(archive, index, ZIP_FL_COMPRESSED));
    if (!entry) return std::nullopt;
    std::string raw(static_cast<std::size_t>(size), '\0');
    std::size_t filled = 0;
    while (filled < raw.size()) {
        zip_int64_t count = zip_fread(entry.get(), raw.data() + filled, raw.size() - filled);
        if (count <= 0) return std::nullopt;
        filled += static_cast<std::size_t>(count);
    }
    return raw;
}

}  // namespace

std::optional<std::string> inflateWhole(zip_t* archive, zip_uint64_t index, const zip_stat_t& stat) {
    std::optional<std::string> raw = readRaw(archive, index, stat.comp_size);
    Decompressor decompressor(libdeflate_alloc_decompressor());
    if (!raw || !decompressor) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(stat.size), '\0');
    // Without an actual-size argument the data must fill the buffer exactly:
    // data that outgrows the declared size is cut off there, not inflated.
    if (libdeflate_deflate_decompress(decompressor.get(), raw->data(), raw->size(), bytes.data(), bytes.size(), nullptr) !=
        LIBDEFLATE_SUCCESS)
        return std::nullopt;
    if (libdeflate_crc32(0, bytes.data(), bytes.size()) != stat.crc) return std::nullopt;
    return bytes;
}

}  // namespace packager::archive::detail
