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

Asset readAsset(const xml::Element& element) {
    Asset asset;
    asset.type = attributeText(element, "Type");
    asset.exportParentFolder = attributeText(element, "ExportParentFolder");
    for (const xml::Element& path : element.children("Path")) asset.path.push_back(path.text());
    asset.previewImage = attributeText(element, "PreviewImage");
    asset.pageIndex = attributeText(element, "PageIndex");
    asset.x = attributeText(element, "X");
    asset.y = attributeText(element, "Y");
    asset.width = attributeText(element, "Width");
    asset.height = attributeText(element, "Height");
    asset.boxID = attributeText(element, "ID");
    return asset;
}

// A "url" asset's first path is a web address, so it is kept whatever the disk says.
bool isKept(const Asset& asset) {
    if (lowerCased(asset.type) == "url") return true;
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
