#include "common/assets/media_types.h"

#include <system_error>

#include "common/platform/platform.h"
#include "common/xml/xml.h"

namespace packager {

MediaTypes::Table MediaTypes::getMediaTypes() {
    MediaTypes table;
    std::optional<std::filesystem::path> bundle = platform::bundleFolder();
    if (!bundle) return {};
    std::filesystem::path file = *bundle / "Resources" / "MediaTypes.xml";
    std::error_code error;
    if (std::filesystem::exists(file, error)) table.readXml(file);
    return table.mediaTypes();
}

// Each child element of the root with both a Suffix and a Type is one entry,
// whatever its name; a later suffix replaces an earlier one.
void MediaTypes::readXml(const std::filesystem::path& file) {
    std::optional<xml::Document> document = xml::Document::parseFile(file);
    if (!document) return;
    for (const xml::Element& entry : document->root().children()) {
        std::optional<std::string> suffix = entry.attribute("Suffix");
        std::optional<std::string> type = entry.attribute("Type");
        if (suffix && type) mediaTypeList[*suffix] = *type;
    }
}

}  // namespace packager
