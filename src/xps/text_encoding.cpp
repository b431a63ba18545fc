#include "xps/text_encoding.h"

#include <cstdint>

#include "common/file/file_io.h"
#include "common/text/unicode.h"

namespace packager::xps {

namespace {

constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view utf16leMark = "\xFF\xFE";
constexpr std::string_view utf16beMark = "\xFE\xFF";

// Calls `emit` with each code point of strict UTF-8; false at the first
// invalid sequence.
template <typename Emit>
bool forEachCodePoint(std::string_view bytes, Emit emit) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::optional<CodePoint> code = decodeUtf8At(bytes, at);
        if (!code) return false;
        emit(code->value);
        at += code->length;
    }
    return true;
}

std::optional<std::string> utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    auto unit = [&](std::size_t index) {
        auto first = static_cast<unsigned char>(bytes[2 * index]);
        auto second = static_cast<unsigned char>(bytes[2 * index + 1]);
        return static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    std::string text;
    text.reserve(bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char16_t high = unit(i);
        if (isLowSurrogate(high)) return std::nullopt;
        if (!isHighSurrogate(high)) {
            appendUtf8(text, high);
            continue;
        }
        if (i + 1 == units) return std::nullopt;
        char16_t low = unit(++i);
        if (!isLowSurrogate(low)) return std::nullopt;
        appendUtf8(text, fromSurrogates(high, low));
    }
    return text;
}

void appendUtf16(std::string& out, char16_t unit, bool bigEndian) {
    auto high = static_cast<char>(unit >> 8);
    auto low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

// In the encoding the byte-order mark announces, UTF-8 without one.
std::optional<DecodedText> decodeByMark(std::string_view bytes) {
    DecodedText decoded;
    if (bytes.starts_with(utf16leMark) || bytes.starts_with(utf16beMark)) {
        decoded.encoding = bytes.starts_with(utf16leMark) ? Encoding::utf16le : Encoding::utf16be;
        decoded.byteOrderMark = true;
        std::optional<std::string> text = utf16ToUtf8(bytes.substr(2), decoded.encoding == Encoding::utf16be);
        if (!text) return std::nullopt;
        decoded.text = std::move(*text);
        return decoded;
    }
    decoded.byteOrderMark = bytes.starts_with(utf8Mark);
    if (decoded.byteOrderMark) bytes.remove_prefix(utf8Mark.size());
    if (!forEachCodePoint(bytes, [](char32_t) {})) return std::nullopt;
    decoded.text = bytes;
    return decoded;
}

}  // namespace

std::optional<DecodedText> decodeText(std::string_view bytes) {
    std::optional<DecodedText> decoded = decodeByMark(bytes);
    // XML has no NUL character: text holding one is UTF-16 without its
    // byte-order mark, or not text at all.
    if (decoded && decoded->text.find('\0') != std::string::npos) return std::nullopt;
    return decoded;
}

std::string encodeText(std::string_view text, Encoding encoding, bool byteOrderMark) {
    if (encoding == Encoding::utf8) return std::string(byteOrderMark ? utf8Mark : "") + std::string(text);
    const bool bigEndian = encoding == Encoding::utf16be;
    std::string out;
    out.reserve(2 * text.size() + 2);
    if (byteOrderMark) out = bigEndian ? utf16beMark : utf16leMark;
    // The text comes from decodeText() or from this program, so it is valid.
    forEachCodePoint(text, [&](char32_t code) {
        forEachUtf16Unit(code, [&](char16_t unit) { appendUtf16(out, unit, bigEndian); });
    });
    return out;
}

EditOutcome editText(const std::filesystem::path& file, const std::function<std::string(std::string_view)>& edit) {
    std::optional<std::string> bytes = readFile(file);
    if (!bytes) return EditOutcome::unchanged;
    std::optional<DecodedText> decoded = decodeText(*bytes);
    if (!decoded) return EditOutcome::unchanged;
    std::string text = edit(decoded->text);
    if (text == decoded->text) return EditOutcome::unchanged;
    return writeFileAtomically(file, encodeText(text, decoded->encoding, decoded->byteOrderMark)) ? EditOutcome::rewritten
                                                                                                   : EditOutcome::writeFailed;
}

}  // namespace packager::xps
