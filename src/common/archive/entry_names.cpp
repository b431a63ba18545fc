#include "common/archive/archive.h"

#include <cstddef>

namespace packager::archive {

namespace {

constexpr std::size_t none = std::string_view::npos;

bool inRange(char low, char c, char high) {
    auto u = [](char x) { return static_cast<unsigned char>(x); };
    return u(low) <= u(c) && u(c) <= u(high);
}

// Matches `c` against the set whose body starts at `p` (just after "[").
// Returns the position after the closing "]" when `c` is in the set, 0 when
// it is not, and `none` when the set is never closed (the "[" is then an
// ordinary character). A "]" first in the body is a member.
std::size_t matchSet(std::string_view pattern, std::size_t p, char c) {
    bool negated = p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^');
    if (negated) ++p;
    bool found = false;
    for (bool first = true; p < pattern.size(); first = false) {
        if (pattern[p] == ']' && !first) return found != negated ? p + 1 : 0;
        char low = pattern[p++];
        if (low == '\\' && p < pattern.size()) low = pattern[p++];
        char high = low;
        if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
            high = pattern[p + 1];
            p += 2;
            if (high == '\\' && p < pattern.size()) high = pattern[p++];
        }
        if (inRange(low, c, high)) found = true;
    }
    return none;
}

// Length of the single-character pattern element at `p` when it matches `c`,
// otherwise 0.
std::size_t matchOne(std::string_view pattern, std::size_t p, char c) {
    switch (pattern[p]) {
    case '?':
        return 1;
    case '[':
        if (std::size_t next = matchSet(pattern, p + 1, c); next != none) return next == 0 ? 0 : next - p;
        return c == '[' ? 1 : 0;
    case '\\':
        if (p + 1 < pattern.size()) return pattern[p + 1] == c ? 2 : 0;
        return c == '\\' ? 1 : 0;
    default:
        return pattern[p] == c ? 1 : 0;
    }
}

}  // namespace

bool matchesPattern(std::string_view pattern, std::string_view name) {
    // Greedy with one backtrack point: since "*" matches anything, retrying
    // only from the latest "*" is enough, which keeps this O(pattern * name).
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starPattern = none;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
        } else if (std::size_t length = p < pattern.size() ? matchOne(pattern, p, name[n]) : 0; length != 0) {
            p += length;
            ++n;
        } else if (starPattern != none) {
            p = starPattern;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool isSafeEntryName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != none) return false;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find('/', start);
        if (end == none) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace packager::archive
