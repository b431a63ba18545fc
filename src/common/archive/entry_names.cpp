#include "common/archive/archive.h"

#include <algorithm>
#include <cstddef>

namespace packager::archive {

namespace {

constexpr std::size_t none = std::string_view::npos;

}  // namespace

bool EntrySelection::contains(std::string_view name) const {
    return std::ranges::find(names, name) != names.end() ||
           std::ranges::any_of(prefixes, [name](const std::string& prefix) { return name.starts_with(prefix); });
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
