#include "common/image/image_conversion.h"

#include "common/file/staged_file.h"
#include "common/image/image_reader.h"
#include "common/image/vips_runtime.h"

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace packager::image {

namespace {

using Target = VipsRef<VipsTarget>;

enum class Format { jpeg, png };

constexpr double white = 255.0;  // background of flattened alpha, in 8 bits

// Runs one libvips call that makes a new image through its `out` argument and
// adopts the result, taking the error text on failure. The call is a lambda so
// that the status is known before `out` is read.
template <typename Call>
Image produce(Call call) {
    VipsImage* out = nullptr;
    int status = call(&out);
    Image image = Image::adopt(out);
    if (status == 0 && image) return image;
    takeVipsError();
    return {};
}

bool isGrey(VipsInterpretation interpretation) {
    return interpretation == VIPS_INTERPRETATION_B_W || interpretation == VIPS_INTERPRETATION_GREY16;
}

bool isRgb(VipsInterpretation interpretation) {
    return interpretation == VIPS_INTERPRETATION_sRGB || interpretation == VIPS_INTERPRETATION_RGB ||
           interpretation == VIPS_INTERPRETATION_RGB16;
}

// A profile of the old colour space would misdescribe converted pixels.
Image withoutProfile(const Image& image) {
    Image copy = produce([&](VipsImage** out) { return vips_copy(image.get(), out, nullptr); });
    if (copy) vips_image_remove(copy.get(), VIPS_META_ICC_NAME);
    return copy;
}

Image toSrgbLosingProfile(const Image& image) {
    Image converted =
        produce([&](VipsImage** out) { return vips_colourspace(image.get(), out, VIPS_INTERPRETATION_sRGB, nullptr); });
    return converted ? withoutProfile(converted) : Image();
}

// Through the embedded profile, or libvips' generic CMYK profile when there is
// none; the result carries the sRGB profile. Alpha rides along.
Image cmykToSrgb(const Image& image, bool sixteenBits) {
    Image converted = produce([&](VipsImage** out) {
        return vips_icc_transform(image.get(), out, "srgb", "embedded", TRUE, "depth", sixteenBits ? 16 : 8, nullptr);
    });
    if (converted) return converted;
    return toSrgbLosingProfile(image);  // a broken embedded profile: convert without it
}

// Grey or RGB in 8 bits (16 when allowed), whatever the source's colour space.
Image toGreyOrRgb(Image image, bool allowSixteenBits) {
    bool sixteenBits = vips_image_get_format(image.get()) == VIPS_FORMAT_USHORT;
    VipsInterpretation interpretation = vips_image_guess_interpretation(image.get());
    if (vips_image_get_coding(image.get()) != VIPS_CODING_NONE) {
        image = toSrgbLosingProfile(image);  // packed LAB or Radiance
    } else if (interpretation == VIPS_INTERPRETATION_CMYK) {
        image = cmykToSrgb(image, sixteenBits && allowSixteenBits);
    } else if (!isGrey(interpretation) && !isRgb(interpretation)) {
        image = toSrgbLosingProfile(image);
    }
    if (!image) return image;

    VipsBandFormat format = vips_image_get_format(image.get());
    if (format == VIPS_FORMAT_UCHAR || (format == VIPS_FORMAT_USHORT && allowSixteenBits)) return image;
    if (format == VIPS_FORMAT_USHORT) {
        // Same colour space in 8 bits, so the profile still applies.
        VipsInterpretation eightBit =
            isGrey(vips_image_guess_interpretation(image.get())) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
        return produce([&](VipsImage** out) { return vips_colourspace(image.get(), out, eightBit, nullptr); });
    }
    return produce([&](VipsImage** out) { return vips_cast_uchar(image.get(), out, nullptr); });
}

Image flattenOntoWhite(const Image& image) {
    std::unique_ptr<VipsArrayDouble, void (*)(VipsArrayDouble*)> background(
        vips_array_double_newv(1, white), [](VipsArrayDouble* array) { vips_area_unref(VIPS_AREA(array)); });
    return produce(
        [&](VipsImage** out) { return vips_flatten(image.get(), out, "background", background.get(), nullptr); });
}

constexpr double millimetresPerInch = 25.4;

// Without a stated resolution, XPS readers take an image to be 96 dpi. Saying
// so in the file keeps libvips from writing its own default, 1 pixel per mm
// (25.4 dpi), which readers that honour it would draw four times too large.
Image withResolution(Image image) {
    if (vips_image_get_typeof(image.get(), VIPS_META_RESOLUTION_UNIT) != 0) return image;
    constexpr double assumedPixelsPerMm = 96 / millimetresPerInch;
    return produce([&](VipsImage** out) {
        return vips_copy(image.get(), out, "xres", assumedPixelsPerMm, "yres", assumedPixelsPerMm, nullptr);
    });
}

Image prepare(Image image, Format format) {
    image = toGreyOrRgb(std::move(image), format == Format::png);
    if (image && format == Format::jpeg && hasAlphaBand(image.get())) image = flattenOntoWhite(image);
    if (image) image = withResolution(std::move(image));
    if (!image) return image;
    int bands = vips_image_get_bands(image.get());
    bool fits = format == Format::jpeg ? (bands == 1 || bands == 3) : (bands >= 1 && bands <= 4);
    return fits ? std::move(image) : Image();
}

// The JFIF header stating `image`'s resolution in dots per inch; nothing when
// it does not fit the header's 16 bits.
std::string jfifDensityHeader(const Image& image) {
    const long xDpi = std::lround(vips_image_get_xres(image.get()) * millimetresPerInch);
    const long yDpi = std::lround(vips_image_get_yres(image.get()) * millimetresPerInch);
    constexpr long largest = 0xFFFF;
    if (xDpi < 1 || yDpi < 1 || xDpi > largest || yDpi > largest) return {};
    // APP0, length 16, "JFIF", version 1.01, units 1 (dots per inch), densities, no thumbnail.
    std::string header("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01", 12);
    for (long density : {xDpi, yDpi}) header += {static_cast<char>(density >> 8), static_cast<char>(density & 0xFF)};
    return header + std::string(2, '\0');
}

// libvips states a JPEG's resolution only in Exif. Readers that look for it in
// a JFIF header alone assume 96 dpi without one and draw the image at the
// wrong size, so the header goes right after the start-of-image marker, where
// JFIF requires it. The encoded image is held in memory once, not copied.
bool saveJpeg(const Image& image, const fs::path& to, int quality) {
    void* buffer = nullptr;
    std::size_t length = 0;
    if (vips_jpegsave_buffer(image.get(), &buffer, &length, "Q", quality, nullptr) != 0) {
        takeVipsError();
        return false;
    }
    std::unique_ptr<void, void (*)(void*)> owned(buffer, g_free);
    const std::string_view jpeg(static_cast<const char*>(buffer), length);
    constexpr std::string_view startOfImage = "\xFF\xD8", jfifMarker = "\xFF\xE0";
    const bool needsHeader = jpeg.starts_with(startOfImage) && !jpeg.substr(startOfImage.size()).starts_with(jfifMarker);
    const std::size_t split = needsHeader ? startOfImage.size() : 0;
    const std::string header = needsHeader ? jfifDensityHeader(image) : "";
    std::optional<StagedFile> staged = StagedFile::create(to);
    return staged && staged->write(jpeg.substr(0, split)) && staged->write(header) && staged->write(jpeg.substr(split)) &&
           staged->commit();
}

// Streamed to the file: a PNG may be large. libvips writes the resolution as pHYs.
bool savePng(const Image& image, const fs::path& to) {
    std::optional<StagedFile> staged = StagedFile::create(to);
    if (!staged) return false;
    Target target = Target::adopt(vips_target_new_to_descriptor(staged->descriptor()));
    if (!target) {
        takeVipsError();
        return false;
    }
    int status = vips_pngsave_target(image.get(), target.get(), nullptr);
    target = Target();  // closes libvips' duplicate of the descriptor
    if (status != 0) {
        takeVipsError();
        return false;
    }
    return staged->commit();
}

bool convert(Image image, const fs::path& to, Format format, int quality) {
    if (image) image = prepare(std::move(image), format);
    if (!image) return false;
    return format == Format::jpeg ? saveJpeg(image, to, quality) : savePng(image, to);
}

}  // namespace

bool writeJpeg(const fs::path& from, const fs::path& to, int quality) {
    return convert(openFirstPage(from), to, Format::jpeg, quality);
}

bool writeJpeg(std::span<const std::byte> from, const fs::path& to, int quality) {
    return convert(openFirstPage(from), to, Format::jpeg, quality);
}

bool writePng(const fs::path& from, const fs::path& to) { return convert(openFirstPage(from), to, Format::png, 0); }

bool writePng(std::span<const std::byte> from, const fs::path& to) {
    return convert(openFirstPage(from), to, Format::png, 0);
}

}  // namespace packager::image
