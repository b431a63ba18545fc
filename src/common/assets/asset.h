#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager {

// One interactive asset of the layout, every field kept as the text of the file
// (an absent attribute is an empty string; numbers are converted by consumers).
struct Asset {
    std::string type;
    std::string exportParentFolder;
    std::vector<std::string> path;  // one entry per "Path" element, in document order
    std::string previewImage;
    std::string pageIndex;
    std::string x;
    std::string y;
    std::string width;
    std::string height;
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
