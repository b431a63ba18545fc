#include "xps/reference_renaming.h"

#include <algorithm>
#include <cctype>
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

// Letters, digits, ".", "_" and "-": spelled alike in every encoding a part
// may be in, and never percent-encoded.
bool isPlainName(std::string_view name) {
    return std::ranges::all_of(name, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    });
}

// Part names in markup may be percent-encoded ("a%20b.tif" for "a b.tif").
std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool escape = text[at] == '%' && at + 2 < text.size() &&
                            std::isxdigit(static_cast<unsigned char>(text[at + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(text[at + 2]));
        if (!escape) {
            decoded += text[at];
            continue;
        }
        decoded += static_cast<char>(std::stoi(std::string(text.substr(at + 1, 2)), nullptr, 16));
        at += 2;
    }
    return decoded;
}

bool boundsName(char c) { return c == '/' || c == '\\' || endsReference(c); }

// Whole names, in any case: "a.tif" is not mentioned by "/Resources/ba.tif".
std::set<std::string> namesMentioned(std::string_view text, const std::set<std::string>& candidates) {
    const std::string lower = lowerCase(percentDecoded(text));
    std::set<std::string> mentioned;
    for (const std::string& name : candidates) {
        const std::string lowerName = lowerCase(name);
        for (std::size_t at = lower.find(lowerName); at != std::string::npos; at = lower.find(lowerName, at + 1)) {
            const std::size_t end = at + lowerName.size();
            if ((at == 0 || boundsName(lower[at - 1])) && (end == lower.size() || boundsName(lower[end]))) {
                mentioned.insert(name);
                break;
            }
        }
    }
    return mentioned;
}

std::set<std::string> namesInBytes(std::string_view bytes, const std::set<std::string>& candidates) {
    constexpr Encoding encodings[] = {Encoding::utf8, Encoding::utf16le, Encoding::utf16be};
    const std::string lower = lowerCase(bytes);
    std::set<std::string> mentioned;
    for (const std::string& name : candidates) {
        const std::string lowerName = lowerCase(name);
        auto occurs = [&](Encoding encoding) { return lower.find(encodeText(lowerName, encoding, false)) != std::string::npos; };
        if (!isPlainName(name) || std::ranges::any_of(encodings, occurs)) mentioned.insert(name);
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
