#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "common/assets/asset.h"

namespace packager {

namespace {

std::size_t skipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

// `text` without its leading whitespace and sign; true when the sign was '-'.
bool stripSign(std::string_view& text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return negative;
}

}  // namespace

// Reads what a decimal scanner would: optional leading whitespace, a sign,
// digits with an optional fraction and an optional exponent; the rest is
// ignored. Independent of the process locale.
double leadingNumber(const std::string& text) {
    std::string_view rest(text);
    const bool negative = stripSign(rest);
    std::size_t end = skipDigits(rest, 0);
    std::size_t integerDigits = end;
    std::size_t fractionDigits = 0;
    if (end < rest.size() && rest[end] == '.') {
        std::size_t fractionEnd = skipDigits(rest, end + 1);
        fractionDigits = fractionEnd - end - 1;
        end = fractionEnd;
    }
    if (integerDigits == 0 && fractionDigits == 0) return 0;
    bool negativeExponent = false;
    if (end < rest.size() && (rest[end] == 'e' || rest[end] == 'E')) {
        std::size_t at = end + 1;
        if (at < rest.size() && (rest[at] == '+' || rest[at] == '-')) {
            negativeExponent = rest[at] == '-';
            ++at;
        }
        std::size_t exponentEnd = skipDigits(rest, at);
        if (exponentEnd > at) end = exponentEnd;  // "12e" is 12
    }

    double value = 0;
    auto [last, status] = std::from_chars(rest.data(), rest.data() + end, value);
    if (status == std::errc::result_out_of_range) value = negativeExponent ? 0.0 : HUGE_VAL;
    else if (status != std::errc() || last != rest.data() + end) return 0;
    return negative ? -value : value;
}

long long leadingInteger(const std::string& text) {
    std::string_view rest(text);
    const bool negative = stripSign(rest);
    unsigned long long magnitude = 0;
    auto [last, status] = std::from_chars(rest.data(), rest.data() + skipDigits(rest, 0), magnitude);
    constexpr auto largest = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    if (status == std::errc::result_out_of_range || magnitude > largest) magnitude = largest;
    else if (status != std::errc()) return 0;
    const auto value = static_cast<long long>(magnitude);
    return negative ? -value : value;
}

}  // namespace packager
