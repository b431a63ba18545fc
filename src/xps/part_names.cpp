#include "xps/part_names.h"

#include <cctype>
#include <string>

#include "common/text/ascii_case.h"

namespace packager::xps {

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool escape = text[at] == '%' && at + 2 < text.size() &&
                            std::isxdigit(static_cast<unsigned char>(text[at + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(text[at + 2]));
        if (!escape) {
            decoded += text[at];
            continue;
        }
        decoded += static_cast<char>(std::stoi(std::string(text.substr(at + 1, 2)), nullptr, 16));
        at += 2;
    }
    return decoded;
}

std::string comparablePartName(std::string_view partName) { return lowerCased(percentDecoded(partName)); }

std::string lowerExtension(std::string_view entryName) {
    const std::size_t dot = entryName.rfind('.');
    const std::size_t slash = entryName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "";
    return lowerCased(entryName.substr(dot + 1));
}

}  // namespace packager::xps
