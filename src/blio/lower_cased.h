#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace packager {

// ASCII lower case: kind names and flags are compared this way.
inline std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace packager
