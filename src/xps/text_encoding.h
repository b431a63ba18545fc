#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace packager::xps {

// The encodings XPS writers use for their XML parts. UTF-16 is only
// recognised by its byte-order mark; without one the bytes must be UTF-8.
enum class Encoding { utf8, utf16le, utf16be };

struct DecodedText {
    std::string text;  // UTF-8, without the byte-order mark
    Encoding encoding = Encoding::utf8;
    bool byteOrderMark = false;
};

// nullopt when the bytes are not valid in the encoding they announce (invalid
// UTF-8, an odd UTF-16 length, a lone surrogate) or hold a NUL character, as
// UTF-16 without a byte-order mark does: such a part must be left as it is
// rather than damaged by a round trip.
std::optional<DecodedText> decodeText(std::string_view bytes);

// The inverse of decodeText(): `text` (UTF-8) in `encoding`, preceded by its
// byte-order mark when asked.
std::string encodeText(std::string_view text, Encoding encoding, bool byteOrderMark);

enum class EditOutcome {
    unchanged,    // the edit changed nothing, or the part is in no recognised encoding
    rewritten,
    writeFailed,  // the file is as it was, though the edit changed the text
};

// Applies `edit` to the text of a part in its own encoding and writes the
// result back atomically, in that encoding with its byte-order mark. A part in
// no recognised encoding, or that the edit leaves as it was, stays byte for
// byte.
EditOutcome editText(const std::filesystem::path& file, const std::function<std::string(std::string_view)>& edit);

}  // namespace packager::xps
