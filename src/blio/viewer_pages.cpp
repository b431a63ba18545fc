#include "blio/viewer_pages.h"

#include <cctype>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/unicode.h"

namespace packager {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string percentEncoded(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : name) {
        if (isUnreserved(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
    }
    return encoded;
}

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
    return addressAttributeValue(percentEncoded(folder) + "/" + percentEncoded(fileName));
}

}  // namespace packager
