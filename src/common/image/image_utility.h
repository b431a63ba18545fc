#pragma once

#include <filesystem>

namespace packager {

namespace fs = std::filesystem;

// Image questions and the two TIFF conversions. Types come from the file name's
// extension (lower-cased); the file must exist. Any decoding failure answers
// false (or 0), never crashes. Safe to call from several threads at once.
class EpubPackagerImageUtility {
public:
    static bool isImageFile(const fs::path& file);  // bmp, gif, png, jpeg; not tiff
    static bool isTiffFile(const fs::path& file);
    static bool hasAlpha(const fs::path& file);     // first page only
    // Width in pixels divided by the bytes of one unpadded row of the first page
    // (1/3 for 8-bit RGB, 1/4 for RGBA); 0 when the file cannot be decoded.
    static double getImageWidth(const fs::path& file);
    // Quality is the level times 100, rounded and clamped to 1..100. The ICC
    // profile and resolution are kept. Only the first page is written.
    static bool convertTiffToJpeg(const fs::path& from, const fs::path& to, float level);
    // Keeps alpha, the ICC profile and resolution. Only the first page is written.
    static bool convertTiffToPng(const fs::path& from, const fs::path& to);
};

}  // namespace packager
