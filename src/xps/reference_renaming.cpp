#include "xps/reference_renaming.h"

#include <algorithm>
#include <vector>

namespace packager::xps {

namespace {

// Characters that end a reference in XAML, relationship and content-type
// markup. "/" is not one of them: a name followed by "/" is a folder.
bool endsReference(char c) {
    constexpr std::string_view delimiters = "\"'<>= \t\r\n,;(){}#?|";
    return delimiters.find(c) != std::string_view::npos;
}

// True when the "Resources/" at `at` is the package's top-level folder rather
// than a folder of that name deeper down.
bool startsAtRoot(std::string_view text, std::size_t at) {
    if (at == 0) return true;
    if (text[at - 1] != '/') return endsReference(text[at - 1]);
    const std::size_t slash = at - 1;
    if (slash == 0 || endsReference(text[slash - 1])) return true;  // "/Resources/"
    // "../Resources/": relative from a folder of the package.
    if (slash < 2 || text.substr(slash - 2, 2) != "..") return false;
    return slash == 2 || text[slash - 3] == '/' || endsReference(text[slash - 3]);
}

}  // namespace

std::string renameReferences(std::string_view text, const std::map<std::string, std::string>& renamed) {
    std::vector<const std::pair<const std::string, std::string>*> longestFirst;
    for (const auto& entry : renamed) longestFirst.push_back(&entry);
    std::ranges::stable_sort(longestFirst, [](auto* a, auto* b) { return a->first.size() > b->first.size(); });

    const std::string prefix = std::string(resourcesFolder) + "/";
    std::string result;
    result.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t at = text.find(prefix); at != std::string_view::npos; at = text.find(prefix, at)) {
        const std::size_t nameStart = at + prefix.size();
        at = nameStart;
        if (!startsAtRoot(text, nameStart - prefix.size())) continue;
        for (const auto* entry : longestFirst) {
            const std::size_t nameEnd = nameStart + entry->first.size();
            if (text.substr(nameStart, entry->first.size()) != entry->first) continue;
            if (nameEnd < text.size() && !endsReference(text[nameEnd])) continue;
            result.append(text.substr(done, nameStart - done));
            result.append(entry->second);
            done = at = nameEnd;
            break;
        }
    }
    result.append(text.substr(done));
    return result;
}

}  // namespace packager::xps
