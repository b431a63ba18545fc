#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager::xps {

namespace fs = std::filesystem;

struct TiffConversion {
    std::string entry;       // the TIFF's entry name in the archive
    fs::path to;             // the new image; empty when its name is taken and the TIFF is only looked at for alpha
    bool converted = false;  // set by convertTiffs()
};

// Where the TIFFs come from: each thread reads `archive` through its own
// handle. A TIFF is inflated into memory and decoded there; one too large to
// hold is extracted below `staging`, at its entry name, and removed again once
// converted.
struct TiffSource {
    fs::path archive;
    fs::path staging;
};

// Converts every TIFF, to PNG or else to JPEG at `level` (0..1), on all cores,
// and answers whether some TIFF has alpha. Converting to JPEG stops once one
// has: every TIFF must then become a PNG, so the caller discards the JPEGs and
// converts again. Returns once every conversion has finished; each one's
// outcome is in its `converted` flag, and a failed one (an entry that cannot
// be read or decoded) leaves nothing at its `to`.
bool convertTiffs(const TiffSource& source, std::vector<TiffConversion>& conversions, bool toPng, float level);

}  // namespace packager::xps
