#include "common/image/image_reader.h"

#include "common/file/descriptor.h"
#include "common/image/vips_runtime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace packager::image {

namespace {

using Source = VipsRef<VipsSource>;
using SourceLoader = int (*)(VipsSource*, VipsImage**, ...);

struct Decoder {
    const char* loader;  // libvips' nickname, for content sniffing
    SourceLoader load;
};

// Only the formats the packagers deal in; each loader reads page 0 by default.
constexpr Decoder decoders[] = {
    {"tiffload_source", vips_tiffload_source},
    {"pngload_source", vips_pngload_source},
    {"jpegload_source", vips_jpegload_source},
    {"gifload_source", vips_gifload_source},
};

// Scanned book pages run to about 35 megapixels (A4 at 600 dpi) and the
// largest plates to about 140 (A4 at 1200 dpi); 200 leaves room for those and
// stops a few kilobytes of CCITT data from declaring gigapixels.
constexpr std::uint64_t maxPixels = 200'000'000;
// The memory budget of one XPS update. Conversion streams, so this bounds what
// a decoder that buffers a whole strip could take, and the size of the result.
constexpr std::uint64_t maxDecodedBytes = std::uint64_t{400} << 20;

// From the header alone: the pixels are not decoded yet.
bool withinDecodingLimits(VipsImage* image) {
    const auto pixels = static_cast<std::uint64_t>(vips_image_get_width(image)) *
                        static_cast<std::uint64_t>(vips_image_get_height(image));
    if (pixels > maxPixels) return false;
    const auto bytesPerPixel = static_cast<std::uint64_t>(vips_image_get_bands(image)) *
                               static_cast<std::uint64_t>(vips_format_sizeof(vips_image_get_format(image)));
    return pixels * bytesPerPixel <= maxDecodedBytes;
}

// A source on a regular file. Opened here, not by libvips, so that a FIFO or a
// folder is refused before anything waits on it.
Source openSource(const std::filesystem::path& file) {
    const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    return Source::adopt(vips_source_new_from_descriptor(fd.get()));  // keeps its own duplicate
}

Image firstPageOf(const Source& source) {
    if (!source) {
        takeVipsError();
        return {};
    }
    for (const Decoder& decoder : decoders) {
        if (!vips_foreign_is_a_source(decoder.loader, source.get())) continue;
        VipsImage* raw = nullptr;
        int status = decoder.load(source.get(), &raw, "access", VIPS_ACCESS_SEQUENTIAL, "fail_on",
                                  VIPS_FAIL_ON_ERROR, nullptr);
        Image image = Image::adopt(raw);
        if (status != 0) {
            takeVipsError();
            return {};
        }
        return withinDecodingLimits(image.get()) ? std::move(image) : Image();
    }
    takeVipsError();
    return {};
}

}  // namespace

Image openFirstPage(const std::filesystem::path& file) {
    if (!vipsReady()) return {};
    return firstPageOf(openSource(file));
}

Image openFirstPage(std::span<const std::byte> encoded) {
    if (!vipsReady()) return {};
    return firstPageOf(Source::adopt(vips_source_new_from_memory(encoded.data(), encoded.size())));
}

bool hasAlphaBand(VipsImage* image) {
    int bands = vips_image_get_bands(image);
    if (bands == 4) return vips_image_guess_interpretation(image) != VIPS_INTERPRETATION_CMYK;
    return bands == 2 || bands > 4;
}

}  // namespace packager::image
