#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace packager::image {

namespace fs = std::filesystem;

// The first page of `from` (any format openFirstPage() reads), a file or the
// encoded bytes in memory, written to `to` through a temporary file beside
// it, renamed into place only once complete: a failure leaves no file at
// `to`, or the old one untouched.

// Baseline JPEG at `quality` (1..100). What viewers expect of a JPEG: CMYK is
// turned into sRGB through its profile (or a generic CMYK profile), other
// colour spaces into sRGB, 16 bits into 8, and alpha is flattened onto white.
// The ICC profile is kept whenever it still describes the pixels (the sRGB
// profile replaces a CMYK one); XMP/IPTC are kept, and so is the resolution,
// in Exif and as the JFIF density.
bool writeJpeg(const fs::path& from, const fs::path& to, int quality);
bool writeJpeg(std::span<const std::byte> from, const fs::path& to, int quality);

// PNG keeping alpha, 16 bits, the ICC profile and resolution (pHYs). CMYK and other
// colour spaces PNG cannot hold are turned into sRGB as for JPEG.
bool writePng(const fs::path& from, const fs::path& to);
bool writePng(std::span<const std::byte> from, const fs::path& to);

}  // namespace packager::image
