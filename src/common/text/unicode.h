#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace packager {

// One code point read from UTF-8, and how many bytes it took.
struct CodePoint {
    char32_t value;
    std::size_t length;
};

// The code point that starts at `at` in strict UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF); nothing when the bytes there are not one.
std::optional<CodePoint> decodeUtf8At(std::string_view bytes, std::size_t at);

// Strict UTF-8 throughout, as decodeUtf8At reads it: the test a file name must
// pass to be written into a package.
bool isValidUtf8(std::string_view text);

// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t code);

constexpr bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The code point a surrogate pair stands for.
constexpr char32_t fromSurrogates(char32_t high, char32_t low) { return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00); }

// Calls `emit` with the UTF-16 code units of one code point.
template <typename Emit>
void forEachUtf16Unit(char32_t code, Emit emit) {
    if (code < 0x10000) {
        emit(static_cast<char16_t>(code));
        return;
    }
    code -= 0x10000;
    emit(static_cast<char16_t>(0xD800 + (code >> 10)));
    emit(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

}  // namespace packager
