#pragma once

#include "common/image/vips_ref.h"

#include <vips/vips.h>

#include <cstddef>
#include <filesystem>
#include <span>

namespace packager::image {

using Image = VipsRef<VipsImage>;

// The first page of a TIFF, PNG, JPEG or GIF file, chosen by content, opened
// for one top-to-bottom pass (sequential access, so a large scan streams
// through memory). Pixels are decoded only when the image is written, and a
// truncated or damaged file then makes that write fail instead of filling in
// grey. Empty, with libvips' error taken, when the path is not a regular file
// or no allowed decoder recognises it; other libvips decoders (ImageMagick,
// PDF, SVG...) are never tried. Empty too, judged from the header before any
// pixel is decoded, for an image over 200 megapixels or 400 MB decoded: such
// a file is treated as one that cannot be decoded.
Image openFirstPage(const std::filesystem::path& file);

// The same from the encoded bytes in memory, which must outlive the image:
// libvips reads them in place, without a copy.
Image openFirstPage(std::span<const std::byte> encoded);

// Grey + alpha, RGB + alpha or CMYK + alpha: a second, fourth (unless CMYK) or
// fifth band. Unlike vips_image_hasalpha() this also counts 16-bit grey.
bool hasAlphaBand(VipsImage* image);

}  // namespace packager::image
