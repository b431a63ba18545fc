#include "xps/part_names.h"

#include <cctype>

namespace packager::xps {

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string lowerExtension(std::string_view entryName) {
    const std::size_t dot = entryName.rfind('.');
    const std::size_t slash = entryName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return "";
    return lowerCase(entryName.substr(dot + 1));
}

std::string literalPattern(std::string_view entryName) {
    std::string pattern;
    for (char c : entryName) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern;
}

}  // namespace packager::xps
