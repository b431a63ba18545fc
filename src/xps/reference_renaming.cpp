#include "xps/reference_renaming.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/text/ascii_case.h"
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

// One character of a part name as package readers compare it: a percent
// escape stands for the character it encodes, and letters match in any case.
struct NameCharacter {
    char lower;
    std::size_t width;  // in the text: 1, or 3 for an escape
};

NameCharacter nameCharacterAt(std::string_view text, std::size_t at) {
    const std::string decoded = percentDecoded(text.substr(at, 3));
    const bool escape = text[at] == '%' && decoded.size() == 1;
    return {lowerAscii(decoded[0]), escape ? std::size_t{3} : std::size_t{1}};
}

// How an old name is renamed: only what follows the part it shares with its
// new name (usually the extension) is replaced, so a reference keeps its own
// spelling of the rest ("/resources/Logo%20A.TIF" becomes ".../Logo%20A.jpg").
struct Renaming {
    std::string comparableOld;   // escapes decoded, lower-cased
    std::size_t sharedDecoded;   // characters of comparableOld kept from the reference
    std::string_view newEnding;  // replaces the rest
};

Renaming renamingOf(const std::string& oldName, const std::string& newName) {
    std::size_t shared = 0;
    while (shared < oldName.size() && shared < newName.size() && oldName[shared] == newName[shared]) ++shared;
    // Never keep half of an escape.
    for (std::size_t back = 1; back <= 2 && back <= shared; ++back) {
        if (oldName[shared - back] == '%') {
            shared -= back;
            break;
        }
    }
    return {comparablePartName(oldName), percentDecoded(std::string_view(oldName).substr(0, shared)).size(),
            std::string_view(newName).substr(shared)};
}

// Where the reference to `renaming`'s old name that starts at `at` ends, and
// where its shared part ends; nullopt when the text names something else.
std::optional<std::pair<std::size_t, std::size_t>> spelledAt(std::string_view text, std::size_t at, const Renaming& renaming) {
    std::size_t cursor = at, sharedEnd = at;
    for (std::size_t index = 0; index < renaming.comparableOld.size(); ++index) {
        if (index == renaming.sharedDecoded) sharedEnd = cursor;
        if (cursor >= text.size()) return std::nullopt;
        const NameCharacter character = nameCharacterAt(text, cursor);
        if (character.lower != renaming.comparableOld[index]) return std::nullopt;
        cursor += character.width;
    }
    if (renaming.sharedDecoded == renaming.comparableOld.size()) sharedEnd = cursor;
    if (cursor < text.size() && !endsReference(text[cursor])) return std::nullopt;
    return std::pair{cursor, sharedEnd};
}

bool boundsName(char c) { return c == '/' || c == '\\' || endsReference(c); }

// Whole names, in any case: "a.tif" is not mentioned by "/Resources/ba.tif".
std::set<std::string> namesMentioned(std::string_view text, const std::set<std::string>& candidates) {
    const std::string lower = comparablePartName(text);
    std::set<std::string> mentioned;
    for (const std::string& name : candidates) {
        const std::string lowerName = comparablePartName(name);
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
    const std::string lower = lowerCased(bytes);
    std::set<std::string> mentioned;
    for (const std::string& name : candidates) {
        const std::string lowerName = lowerCased(name);
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
    std::vector<Renaming> longestFirst;
    for (const auto& [oldName, newName] : renamed) longestFirst.push_back(renamingOf(oldName, newName));
    std::ranges::stable_sort(longestFirst, [](const Renaming& a, const Renaming& b) {
        return a.comparableOld.size() > b.comparableOld.size();
    });

    // Package readers find "/resources/a.tif" for the part "/Resources/a.tif".
    const std::string prefix = lowerCased(resourcesFolder) + "/";
    const std::string lower = lowerCased(text);
    std::string result;
    result.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t at = lower.find(prefix); at != std::string::npos; at = lower.find(prefix, at)) {
        const std::size_t nameStart = at + prefix.size();
        at = nameStart;
        if (!startsAtRoot(text, nameStart - prefix.size())) continue;
        for (const Renaming& renaming : longestFirst) {
            const auto spelled = spelledAt(text, nameStart, renaming);
            if (!spelled) continue;
            const auto [nameEnd, sharedEnd] = *spelled;
            result.append(text.substr(done, sharedEnd - done));
            result.append(renaming.newEnding);
            done = at = nameEnd;
            break;
        }
    }
    result.append(text.substr(done));
    return result;
}

}  // namespace packager::xps
