#pragma once

#include <filesystem>
#include <vector>

namespace packager::xps {

namespace fs = std::filesystem;

struct TiffConversion {
    fs::path from;
    fs::path to;
    bool converted = false;  // set by convertTiffs()
};

// Converts every TIFF, to PNG or else to JPEG at `level` (0..1), on all cores.
// Returns once every conversion has finished; each one's outcome is in its
// `converted` flag, and a failed one leaves nothing at its `to`.
void convertTiffs(std::vector<TiffConversion>& conversions, bool toPng, float level);

}  // namespace packager::xps
