#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace packager {

// File-name suffix (".jpg") to media type, read from the bundle's
// Resources/MediaTypes.xml. Suffixes are compared exactly.
class MediaTypes {
public:
    using Table = std::map<std::string, std::string>;

    // A fresh copy of the bundle's table; empty when the file is missing or malformed.
    static Table getMediaTypes();

    MediaTypes() = default;
    void readXml(const std::filesystem::path& file);
    const Table& mediaTypes() const { return mediaTypeList; }

private:
    Table mediaTypeList;
};

}  // namespace packager
