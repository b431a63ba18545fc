#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "blio/descriptions.h"

namespace packager {

namespace {

// Layout boxes are measured in points; the reader places overlays in pixels.
constexpr double kPointsToPixels = 4.0 / 3.0;

constexpr DescriptionNames kOverlayFile{"OverlayContent.xml", "EnhancedOverlayinfos", "EnhancedOverlayinfoList",
                                       "EnhancedOverlayinfo", "EnhancedOverlayinfoID"};
constexpr DescriptionNames kVideoFile{"VideoContent.xml", "Videoinfos", "VideoinfosList", "Videoinfo", "VideoinfoID"};

std::string decimal(long long value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

// Pages are numbered from 1 in the asset list and from 0 by the reader;
// anything below 1 (or not a number) is the first page.
std::string pageNumber(long long pageIndex) {
    return pageIndex >= 1 ? decimal(pageIndex - 1) : "0";
}

// Halves go away from zero, as std::round does.
std::string pixels(double points) {
    const double value = std::round(points * kPointsToPixels);
    if (!std::isfinite(value)) return "0";
    return decimal(static_cast<long long>(std::clamp(value, -1e15, 1e15)));
}

struct Region {
    std::string page, left, top, width, height;
};

Region regionOf(const Asset& asset) {
    return {pageNumber(asset.pageIndex), pixels(asset.x), pixels(asset.y), pixels(asset.width), pixels(asset.height)};
}

}  // namespace

Descriptions::Descriptions(std::filesystem::path folder) : folder(std::move(folder)) {}

void Descriptions::mapAssetToBlio(const Asset& asset, const std::string& assetPath) {
    Region region = regionOf(asset);
    const DescriptionAttributes attributes = {
        {"PageNo", std::move(region.page)},
        {"DisplayRegionLeft", std::move(region.left)},
        {"DisplayRegionTop", std::move(region.top)},
        {"DisplayRegionWidth", std::move(region.width)},
        {"DisplayRegionHeight", std::move(region.height)},
        {"ContentScaleX", "1"},
        {"ContentScaleY", "1"},
        {"ContentOffsetX", "0.0"},
        {"ContentOffsetY", "0.0"},
        {"NavigateUri", assetPath},
        {"ControlType", "WebBrowser"},
        {kOverlayFile.number, {}},
        {"VisualState", "Visible"},
    };
    if (!overlayContent) overlayContent.emplace(folder / kOverlayFile.fileName, kOverlayFile);
    overlayContent->append(attributes);
}

void Descriptions::mapVideoToBlio(const Asset& asset, const std::string& assetPath, const std::string& previewImage) {
    Region region = regionOf(asset);
    const DescriptionAttributes attributes = {
        {"Page", std::move(region.page)},
        {"DisplayRegionLeft", std::move(region.left)},
        {"DisplayRegionTop", std::move(region.top)},
        {"DisplayRegionWidth", std::move(region.width)},
        {"DisplayRegionHeight", std::move(region.height)},
        {"NavigateUri", assetPath},
        {kVideoFile.number, {}},
        {"CoverImageUri", previewImage},
    };
    if (!videoContent) videoContent.emplace(folder / kVideoFile.fileName, kVideoFile);
    videoContent->append(attributes);
}

bool Descriptions::saveDescriptions() {
    bool saved = true;
    for (std::optional<DescriptionDocument>* document : {&overlayContent, &videoContent}) {
        if (*document && !(*document)->save()) saved = false;
        document->reset();  // a later description starts again from the file
    }
    return saved;
}

}  // namespace packager
