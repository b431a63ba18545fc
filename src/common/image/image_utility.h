#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace packager {

namespace fs = std::filesystem;

// Image questions and the two TIFF conversions. Safe to call from several
// threads at once; nothing throws, and any failure answers false (or 0).
class EpubPackagerImageUtility {
public:
    // From the lower-cased extension alone (bmp; gif; png; jpg, jpeg, jpe;
    // tif, tiff), for a path that is a regular file (a link to one counts).
    // The contents are never read.
    static bool isImageFile(const fs::path& file);  // bmp, gif, png, jpeg; not tiff

    // The questions and conversions below decode by content, not name, from a
    // file or from the encoded bytes in memory (read in place, so a TIFF
    // already inflated is not written out to be read back), and
    // read TIFF, PNG, JPEG and GIF only (BMP and anything else answer false or
    // 0). Only the first page of a multi-page file is ever looked at. An image
    // over 200 megapixels or 400 MB decoded answers as an undecodable one,
    // judged from its header before any pixel is decoded.

    // True for grey + alpha, RGB + alpha and CMYK + alpha.
    static bool hasAlpha(const fs::path& file);
    static bool hasAlpha(std::span<const std::byte> encoded);
    // Width in pixels divided by the bytes of one unpadded row, that is
    // 1 / (bands * bytes per sample) of the decoded first page: 1/3 for 8-bit
    // RGB, 1/4 for RGBA, 1/6 for 16-bit RGB. 0 when the file cannot be decoded.
    static double getImageWidth(const fs::path& file);

    // Both write a temporary file beside `to` and rename it into place once
    // complete, so a failure (an undecodable or truncated source, a missing
    // folder) leaves no file at `to`, or the old one untouched.

    // Quality is the level times 100, rounded and clamped to 1..100 (NaN gives
    // 1). The result is what any viewer shows alike: 8-bit grey or sRGB, CMYK
    // converted through its profile, alpha flattened onto white. The ICC
    // profile is kept while it still describes the pixels, as are resolution
    // and XMP/IPTC metadata.
    static bool convertTiffToJpeg(const fs::path& from, const fs::path& to, float level);
    static bool convertTiffToJpeg(std::span<const std::byte> from, const fs::path& to, float level);
    // Keeps alpha, 16-bit samples, the ICC profile and resolution; CMYK and
    // other colour spaces PNG cannot hold become sRGB.
    static bool convertTiffToPng(const fs::path& from, const fs::path& to);
    static bool convertTiffToPng(std::span<const std::byte> from, const fs::path& to);
};

}  // namespace packager
