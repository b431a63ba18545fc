#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace packager {

// ASCII case folding. What is compared this way (file extensions, kinds and
// flags of the asset list, OPC part names, URL schemes) is ASCII by
// definition, and a locale must not change how it compares.
constexpr char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string lowerCased(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}

constexpr bool equalIgnoringCase(char left, char right) { return lowerAscii(left) == lowerAscii(right); }

inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), equalIgnoringCase);
}

}  // namespace packager
