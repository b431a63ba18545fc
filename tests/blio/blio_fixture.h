#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "blio/asset_list.h"
#include "blio/blio_package_run.h"
#include "common/archive/archive.h"
#include "common/xml/xml.h"
#include "package_contents.h"
#include "scratch.h"

namespace packager::testing {

inline std::uint32_t packageBlio(const fs::path& source, const fs::path& destination) {
    return createBlioPackage(source.string(), destination.string(), bundleDir());
}

// An AssetList whose workspace is made in the test's TMPDIR from the built bundle.
inline AssetList preparedAssetList(const fs::path& source, const fs::path& destination) {
    AssetList list = AssetList::initWithSource(source.string(), destination.string());
    EXPECT_EQ(list.initializeComponents(bundleDir()), 0u);
    return list;
}

// One asset element of an asset list.
inline std::string assetXml(const std::string& type, const std::vector<std::string>& paths,
                            const std::string& attributes = "") {
    std::string xml = "<Asset Type=\"" + type + "\" PageIndex=\"1\" X=\"72\" Y=\"36\" Width=\"144\" Height=\"108\" " +
                      attributes + ">";
    for (const std::string& path : paths) xml += "<Path>" + path + "</Path>";
    return xml + "</Asset>";
}

inline void writeAssetList(const fs::path& file, const std::vector<std::string>& assets) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<AssetList>";
    for (const std::string& asset : assets) xml += asset;
    writeText(file, xml + "</AssetList>\n");
}

// The attribute `name` of every element `item` in the file's list, in order.
inline std::vector<std::string> attributeValues(const fs::path& file, const std::string& list, const std::string& item,
                                                const std::string& name) {
    std::vector<std::string> values;
    auto document = xml::Document::parseFile(file);
    if (!document) return values;
    for (const xml::Element& element : document->root().firstChild(list).children(item))
        values.push_back(element.attribute(name).value_or("<absent>"));
    return values;
}

}  // namespace packager::testing
