#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// What an asset's box shows, from its "Type" attribute in any case.
enum class AssetKind { video, slideshow, webLink, embeddedPage, other };

// One interactive asset of the layout. Numbers are read as the host writes
// them, as a leading decimal ("12.5pt" is 12.5); an absent or unreadable one
// is 0, as is an absent text.
struct Asset {
    AssetKind kind = AssetKind::other;
    bool exportParentFolder = false;  // "true" in any case
    std::vector<std::string> path;    // one entry per "Path" element, in document order
    std::string previewImage;
    long long pageIndex = 0;  // counted from 1
    double x = 0;             // the box, in points
    double y = 0;
    double width = 0;
    double height = 0;
    std::string boxID;
};

class AssetHelper {
public:
    // The assets of an AssetList.xml in document order, without those whose
    // paths do not all exist (except "url" assets). Empty when the file is
    // missing or malformed.
    static std::vector<Asset> assetArrayWithContentsOfFileURL(const std::filesystem::path& file);
};

// The leading decimal number of `text`, or 0 when there is none ("12.5px" is 12.5).
double leadingNumber(const std::string& text);

// The leading decimal integer of `text`, or 0 when there is none ("3rd" and
// "3e2" are 3); saturates instead of overflowing.
long long leadingInteger(const std::string& text);

}  // namespace packager
