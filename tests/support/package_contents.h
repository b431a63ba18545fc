#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/archive/archive.h"
#include "common/xml/xml.h"
#include "scratch.h"

namespace packager::testing {

// Entry names of a package; empty when it cannot be opened.
inline std::vector<std::string> entryNames(const fs::path& package) {
    auto archive = archive::Archive::open(package);
    return archive ? archive->entryNames() : std::vector<std::string>{};
}

// One entry's bytes; empty when the package or the entry cannot be read.
inline std::string entryText(const fs::path& package, const std::string& name) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {};
    return archive->read(name).value_or("");
}

// The parts of a package that have no content type, as an OPC reader finds
// them: the content types are the single entry or its pieces joined in number
// order; a part is declared by a Default for its extension or an Override for
// its name, both compared without regard to case. An interleaved part is
// named without its "/[n].piece" suffixes; the content types themselves need
// no type. Every part when the content types cannot be read.
inline std::vector<std::string> untypedParts(const fs::path& package) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {"<unreadable package>"};
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string typesName = "[Content_Types].xml";
    std::map<unsigned, std::string> typePieces;
    std::set<std::string> parts;
    for (const std::string& entry : archive->entryNames()) {
        if (entry.ends_with('/')) continue;
        const std::size_t piece = entry.rfind("/[");
        const bool isPiece = piece != std::string::npos && entry.ends_with(".piece");
        const std::string part = isPiece ? entry.substr(0, piece) : entry;
        if (part != typesName) parts.insert(part);
        else if (isPiece) typePieces[static_cast<unsigned>(std::stoul(entry.substr(piece + 2)))] = archive->read(entry).value_or("");
    }
    std::string document = archive->read(typesName).value_or("");
    for (const auto& [number, bytes] : typePieces) document += bytes;
    auto types = xml::Document::parseMemory(document);
    if (!types) return {parts.begin(), parts.end()};
    std::set<std::string> extensions, overridden;
    for (const xml::Element& type : types->root().children()) {
        if (type.name() == "Default") extensions.insert(lower(type.attribute("Extension").value_or("")));
        if (type.name() == "Override") overridden.insert(lower(type.attribute("PartName").value_or("")));
    }
    std::vector<std::string> untyped;
    for (const std::string& part : parts) {
        const std::string file = part.substr(part.rfind('/') + 1);
        const std::size_t dot = file.rfind('.');
        const bool byExtension = dot != std::string::npos && extensions.contains(lower(file.substr(dot + 1)));
        if (!byExtension && !overridden.contains(lower("/" + part))) untyped.push_back(part);
    }
    return untyped;
}

// Every item below `folder` with its bytes, to show that a run left it alone.
inline std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        items.emplace_back(entry.path().string(), entry.is_regular_file() ? readText(entry.path()) : "");
    std::sort(items.begin(), items.end());
    return items;
}

}  // namespace packager::testing
