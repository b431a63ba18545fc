#pragma once

#include <cstdint>
#include <string>

// The library speaks UTF-16; the shell speaks UTF-8.
std::u16string toUtf16(const std::string& text);
std::string toUtf8(const std::uint16_t* text);
// True when the text comes back unchanged from UTF-16: valid UTF-8 without a
// NUL, so the library gets exactly the name it was given.
bool survivesUtf16(const std::string& text);

// The message the library gives for a result code.
std::string resultMessage(std::uint32_t code);
