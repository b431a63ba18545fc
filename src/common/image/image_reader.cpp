#include "common/image/image_reader.h"

#include "common/image/vips_runtime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A source on a regular file. Opened here, not by libvips, so that a FIFO or a
// folder is refused before anything waits on it.
Source openSource(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat info {};
    Source source;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        source = Source::adopt(vips_source_new_from_descriptor(fd));  // keeps its own duplicate
    ::close(fd);
    return source;
}

}  // namespace

Image openFirstPage(const std::filesystem::path& file) {
    if (!vipsReady()) return {};
    Source source = openSource(file);
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
        return image;
    }
    takeVipsError();
    return {};
}

bool hasAlphaBand(VipsImage* image) {
    int bands = vips_image_get_bands(image);
    if (bands == 4) return vips_image_guess_interpretation(image) != VIPS_INTERPRETATION_CMYK;
    return bands == 2 || bands > 4;
}

}  // namespace packager::image
