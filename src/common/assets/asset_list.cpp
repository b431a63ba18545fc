#include <algorithm>
#include <cctype>
#include <system_error>

#include "common/assets/asset.h"
#include "common/text/ascii_case.h"
#include "common/xml/xml.h"

namespace packager {

namespace {

std::string attributeText(const xml::Element& element, std::string_view name) {
    return element.attribute(name).value_or("");
}

AssetKind kindNamed(const std::string& type) {
    const std::string lowered = lowerCased(type);
    if (lowered == "video") return AssetKind::video;
    if (lowered == "slideshow") return AssetKind::slideshow;
    if (lowered == "url") return AssetKind::webLink;
    if (lowered == "embedded html") return AssetKind::embeddedPage;
    return AssetKind::other;
}

double number(const xml::Element& element, std::string_view name) {
    return leadingNumber(attributeText(element, name));
}

Asset readAsset(const xml::Element& element) {
    Asset asset;
    asset.kind = kindNamed(attributeText(element, "Type"));
    asset.exportParentFolder = lowerCased(attributeText(element, "ExportParentFolder")) == "true";
    for (const xml::Element& path : element.children("Path")) asset.path.push_back(path.text());
    asset.previewImage = attributeText(element, "PreviewImage");
    asset.pageIndex = leadingInteger(attributeText(element, "PageIndex"));
    asset.x = number(element, "X");
    asset.y = number(element, "Y");
    asset.width = number(element, "Width");
    asset.height = number(element, "Height");
    asset.boxID = attributeText(element, "ID");
    return asset;
}

// A web link's first path is an address, so it is kept whatever the disk says.
bool isKept(const Asset& asset) {
    if (asset.kind == AssetKind::webLink) return true;
    return std::all_of(asset.path.begin(), asset.path.end(), [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(path, error);
    });
}

}  // namespace

std::vector<Asset> AssetHelper::assetArrayWithContentsOfFileURL(const std::filesystem::path& file) {
    std::vector<Asset> assets;
    std::optional<xml::Document> document = xml::Document::parseFile(file);
    if (!document) return assets;
    for (const xml::Element& element : document->root().children()) {
        Asset asset = readAsset(element);
        if (isKept(asset)) assets.push_back(std::move(asset));
    }
    return assets;
}

}  // namespace packager
