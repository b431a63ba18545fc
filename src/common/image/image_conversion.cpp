#include "common/image/image_conversion.h"

#include "common/file/staged_file.h"
#include "common/image/image_reader.h"
#include "common/image/vips_runtime.h"

#include <memory>
#include <optional>
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

Image prepare(Image image, Format format) {
    image = toGreyOrRgb(std::move(image), format == Format::png);
    if (image && format == Format::jpeg && hasAlphaBand(image.get())) image = flattenOntoWhite(image);
    if (!image) return image;
    int bands = vips_image_get_bands(image.get());
    bool fits = format == Format::jpeg ? (bands == 1 || bands == 3) : (bands >= 1 && bands <= 4);
    return fits ? std::move(image) : Image();
}

bool save(const Image& image, const fs::path& to, Format format, int quality) {
    std::optional<StagedFile> staged = StagedFile::create(to);
    if (!staged) return false;
    Target target = Target::adopt(vips_target_new_to_descriptor(staged->descriptor()));
    if (!target) {
        takeVipsError();
        return false;
    }
    int status = format == Format::jpeg
                     ? vips_jpegsave_target(image.get(), target.get(), "Q", quality, nullptr)
                     : vips_pngsave_target(image.get(), target.get(), nullptr);
    target = Target();  // closes libvips' duplicate of the descriptor
    if (status != 0) {
        takeVipsError();
        return false;
    }
    return staged->commit();
}

bool convert(Image image, const fs::path& to, Format format, int quality) {
    if (image) image = prepare(std::move(image), format);
    return image && save(image, to, format, quality);
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
