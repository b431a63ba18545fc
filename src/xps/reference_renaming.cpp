#include "xps/reference_renaming.h"

#include <algorithm>
#include <vector>

#include "xps/part_names.h"
#include "xps/text_encoding.h"

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

bool isAscii(std::string_view text) {
    return std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whole names only: "a.tif" is not mentioned by "/Resources/ba.tif".
std::set<std::string> namesMentioned(std::string_view text, const std::set<std::string>& candidates) {
    std::map<std::string, std::string> byLowerName;
    for (const std::string& name : candidates) byLowerName.emplace(lowerCase(name), name);
    const std::string lower = lowerCase(text);
    std::set<std::string> mentioned;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= lower.size(); ++at) {
        if (at < lower.size() && lower[at] != '/' && lower[at] != '\\' && !endsReference(lower[at])) continue;
        auto name = byLowerName.find(lower.substr(start, at - start));
        if (name != byLowerName.end()) mentioned.insert(name->second);
        start = at + 1;
    }
    return mentioned;
}

std::set<std::string> namesInBytes(std::string_view bytes, const std::set<std::string>& candidates) {
    const std::string lower = lowerCase(bytes);
    std::set<std::string> mentioned;
    for (const std::string& name : candidates) {
        const std::string lowerName = lowerCase(name);
        const bool found = !isAscii(name) || std::ranges::any_of(std::initializer_list<Encoding>{Encoding::utf8, Encoding::utf16le, Encoding::utf16be},
            [&](Encoding encoding) { return lower.find(encodeText(lowerName, encoding, false)) != std::string::npos; });
        if (found) mentioned.insert(name);
    }
    return mentioned;
}

}  // namespace

std::set<std::string> mentionsLeftByRenaming(const std::optional<std::string>& part, const std::set<std::string>& candidates) {
    if (!part) return candidates;
    std::optional<DecodedText> decoded = decodeText(*part);
    if (!decoded) return namesInBytes(*part, candidates);
    std::map<std::string, std::string> removed;
    for (const std::string& name : candidates) removed.emplace(name, "");
    return namesMentioned(renameReferences(decoded->text, removed), candidates);
}

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
