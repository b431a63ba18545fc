#include "common/platform/platform.h"

#include "common/text/unicode.h"

namespace packager::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;


}  // namespace

std::string utf16ToUtf8(const std::uint16_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (const std::uint16_t* unit = text; *unit != 0; ++unit) {
        char32_t c = *unit;
        if (isHighSurrogate(c) && isLowSurrogate(unit[1])) {
            c = fromSurrogates(c, unit[1]);
            ++unit;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string utf8ToUtf16(const std::string& text) {
    std::u16string out;
    for (std::size_t at = 0; at < text.size();) {
        // A byte that starts no code point stands for itself as U+FFFD.
        const CodePoint code = decodeUtf8At(text, at).value_or(CodePoint{kReplacement, 1});
        forEachUtf16Unit(code.value, [&](char16_t unit) { out += unit; });
        at += code.length;
    }
    return out;
}

}  // namespace packager::platform
