#include "xps/default_file_types.h"

#include <array>
#include <utility>

#include "common/text/ascii_case.h"
#include "xps/part_names.h"

namespace packager::xps {

namespace {

struct FileType {
    const char* extension;
    const char* contentType;
};

constexpr std::array<FileType, 18> fileTypes{{
    {"js", "application/javascript"},
    {"zip", "application/zip"},
    {"swf", "application/x-shockwave-flash"},
    {"xhtml", "application/xhtml+xml"},
    {"pdf", "application/pdf"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"bmp", "image/x-ms-bmp"},
    {"svg", "image/svg+xml"},
    {"tiff", "image/tiff"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"xml", "text/xml"},
    {"css", "text/css"},
    {"mp4", "video/mp4"},
    {"mpeg", "video/mpeg"},
}};

constexpr const char* relationshipsExtension = "rels";
constexpr const char* relationshipsContentType = "application/vnd.openxmlformats-package.relationships+xml";
constexpr const char* arbitraryBytesContentType = "application/octet-stream";

}  // namespace

std::map<std::string, std::string> defaultFileTypes() {
    std::map<std::string, std::string> types;
    for (const FileType& type : fileTypes) types.emplace(type.extension, type.contentType);
    return types;
}

std::string contentTypeForExtension(std::string_view extension) {
    const std::string lower = lowerCased(extension);
    for (const FileType& type : fileTypes)
        if (lower == type.extension) return type.contentType;
    return lower == relationshipsExtension ? relationshipsContentType : arbitraryBytesContentType;
}

}  // namespace packager::xps
