#include "text.h"

#include "common/platform/platform.h"
#include "ebookpackager.h"

std::u16string toUtf16(const std::string& text) { return packager::platform::utf8ToUtf16(text); }

std::string toUtf8(const std::uint16_t* text) { return packager::platform::utf16ToUtf8(text); }

bool survivesUtf16(const std::string& text) {
    const std::u16string converted = toUtf16(text);
    return toUtf8(reinterpret_cast<const std::uint16_t*>(converted.c_str())) == text;
}

std::string resultMessage(std::uint32_t code) {
    std::uint16_t* buffer = GetErrorString(code);
    std::string message = toUtf8(buffer);
    DeleteErrorString(buffer);
    return message;
}
