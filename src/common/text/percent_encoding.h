#pragma once

#include <string>
#include <string_view>

namespace packager {

// `text` with every byte that `keep` refuses written as "%XX" (upper-case
// hexadecimal), as URLs escape what would otherwise end or change them.
template <typename Keep>
std::string percentEncoded(std::string_view text, Keep keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (keep(c)) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

}  // namespace packager
