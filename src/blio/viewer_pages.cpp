#include "blio/viewer_pages.h"

#include <cctype>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/percent_encoding.h"
#include "common/text/unicode.h"

namespace packager {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// A plain name as one segment of a relative URL.
std::string segmentOf(std::string_view name) { return percentEncoded(name, isUnreserved); }

}  // namespace

std::string slideshowImageFragment(std::string_view key, std::string_view fileName) {
    std::string fragment = "<a href=\"#\"><img src=\"";
    fragment += key;
    fragment += '/';
    fragment += fileName;
    fragment += "\" title=\"\" /></a>";
    return fragment;
}

void ViewerTemplate::read() {
    tried = true;
    permissions = permissionsOf(file);
    if (!permissions) return;
    text = readFile(file);
    if (text && !isValidUtf8(*text)) text.reset();
}

bool ViewerTemplate::makePage(const fs::path& page, std::string_view replacement) {
    if (!tried) read();
    return text && isValidUtf8(replacement) && EpubPackagerFileUtility::createDirectoryAtPath(page.parent_path()) &&
           writeFileAtomically(page, replaceAll(*text, placeholder, replacement), permissions);
}

std::string addressAttributeValue(std::string_view address) {
    std::string value;
    for (char c : address) {
        switch (c) {
            case '&': value += "&amp;"; break;
            case '"': value += "&quot;"; break;
            case '<': value += "&lt;"; break;
            case '>': value += "&gt;"; break;
            default: value += c;
        }
    }
    return value;
}

std::string relativeAddressAttributeValue(std::string_view folder, std::string_view fileName) {
    return addressAttributeValue(segmentOf(folder) + "/" + segmentOf(fileName));
}

}  // namespace packager
