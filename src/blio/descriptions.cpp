#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "blio/asset_list.h"
#include "common/file/file_io.h"
#include "common/xml/xml.h"

namespace packager {

namespace {

// Layout boxes are measured in points; the reader places overlays in pixels.
constexpr double kPointsToPixels = 4.0 / 3.0;

using Attributes = std::vector<std::pair<std::string_view, std::string>>;

// The names of one description file, so both files share the update below.
struct DescriptionFile {
    std::string_view fileName;
    std::string_view root;
    std::string_view list;
    std::string_view item;
    std::string_view number;  // the attribute that numbers the descriptions
};

constexpr DescriptionFile kOverlayFile{"OverlayContent.xml", "EnhancedOverlayinfos", "EnhancedOverlayinfoList",
                                       "EnhancedOverlayinfo", "EnhancedOverlayinfoID"};
constexpr DescriptionFile kVideoFile{"VideoContent.xml", "Videoinfos", "VideoinfosList", "Videoinfo", "VideoinfoID"};

std::string decimal(long long value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}

// Pages are numbered from 1 in the asset list and from 0 by the reader;
// anything below 1 (or not a number) is the first page.
std::string pageNumber(const std::string& pageIndex) {
    const long long page = leadingInteger(pageIndex);
    return page >= 1 ? decimal(page - 1) : "0";
}

// Halves go away from zero, as std::round does.
std::string pixels(const std::string& points) {
    const double value = std::round(leadingNumber(points) * kPointsToPixels);
    if (!std::isfinite(value)) return "0";
    return decimal(static_cast<long long>(std::clamp(value, -1e15, 1e15)));
}

struct Region {
    std::string page, left, top, width, height;
};

Region regionOf(const Asset& asset) {
    return {pageNumber(asset.pageIndex), pixels(asset.x), pixels(asset.y), pixels(asset.width), pixels(asset.height)};
}

// Appends one description with the attributes in their order; the value of the
// numbering attribute is filled in here with the count already listed. A file
// that does not parse or has no list is left as it is.
void addDescription(const fs::path& file, const DescriptionFile& names, const Attributes& attributes) {
    std::optional<xml::Document> document;
    xml::Element list;
    if (!exists(file)) {
        document = xml::Document::create(names.root);
        list = document->root().addChild(names.list);
    } else {
        document = xml::Document::parseFile(file, xml::Parse::Recover);
        if (!document) return;
        list = document->root().firstChild(names.list);
        if (!list) return;
    }
    const std::string number = decimal(static_cast<long long>(list.children(names.item).size()));

    xml::Element description = list.addChild(names.item);
    for (const auto& [name, value] : attributes) description.setAttribute(name, name == names.number ? number : value);
    document->save(file, {.declareEncoding = false, .pretty = true});
}

}  // namespace

void AssetList::mapAssetToBlio(const Asset& asset, const std::string& assetPath) {
    Region region = regionOf(asset);
    const Attributes attributes = {
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
    addDescription(blioTempDir() / kOverlayFile.fileName, kOverlayFile, attributes);
}

void AssetList::mapVideoToBlio(const Asset& asset, const std::string& assetPath, const std::string& previewImage) {
    Region region = regionOf(asset);
    const Attributes attributes = {
        {"Page", std::move(region.page)},
        {"DisplayRegionLeft", std::move(region.left)},
        {"DisplayRegionTop", std::move(region.top)},
        {"DisplayRegionWidth", std::move(region.width)},
        {"DisplayRegionHeight", std::move(region.height)},
        {"NavigateUri", assetPath},
        {kVideoFile.number, {}},
        {"CoverImageUri", previewImage},
    };
    addDescription(blioTempDir() / kVideoFile.fileName, kVideoFile, attributes);
}

}  // namespace packager
