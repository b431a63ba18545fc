#pragma once

// Reading XPS packages entry by entry and writing changed copies of them, as
// the tests that feed the update real and damaged packages need.
#include <map>
#include <optional>
#include <string>

#include "common/archive/archive.h"
#include "scratch.h"

namespace packager::testing {

using Entries = std::map<std::string, std::string>;  // entry name -> bytes

// Every file entry with its bytes; empty when the archive cannot be opened.
inline Entries readEntries(const fs::path& xps) {
    Entries entries;
    std::optional<archive::Archive> opened = archive::Archive::open(xps);
    if (!opened) return entries;
    for (const std::string& name : opened->entryNames())
        if (!name.ends_with('/')) entries[name] = opened->read(name).value_or("<unreadable>");
    return entries;
}

// The content-types document: the single entry, or its pieces joined in
// archive order (the order readers that stream the archive see).
inline std::string contentTypes(const fs::path& xps) {
    std::string document;
    std::optional<archive::Archive> opened = archive::Archive::open(xps);
    if (!opened) return document;
    for (const std::string& name : opened->entryNames())
        if (name.starts_with("[Content_Types].xml")) document += opened->read(name).value_or("");
    return document;
}

inline std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
    return text;
}

inline std::string utf16le(const std::string& ascii) {
    std::string wide;
    for (char c : ascii) wide += {c, '\0'};
    return wide;
}

// Entries written deflated, as XPS writers store them, in the given order.
inline void writeDeflated(const fs::path& xps, const Entries& entries, const fs::path& work) {
    const fs::path folder = work / (xps.filename().string() + ".d");
    fs::remove_all(folder);
    std::string names;
    for (const auto& [name, bytes] : entries) {
        writeText(folder / name, bytes);
        names += " " + shellQuote(name);
    }
    fs::remove(xps);
    ASSERT_EQ(runCommand("cd " + shellQuote(folder) + " && zip -q -X -D " + shellQuote(fs::absolute(xps)) + names), 0);
    fs::remove_all(folder);
}

// How a TIFF shows a picture: as it is (with its alpha, if any), without
// alpha, moved into the P3 colour space with that profile embedded, or in 16
// bits per sample (with its alpha, if any).
enum class TiffKind { asItIs, opaque, p3Profile, sixteenBits };

// An RGB TIFF of `image` (any RGB format vips reads).
inline std::string tiffOf(const std::string& image, TiffKind kind, const fs::path& work) {
    const fs::path in = work / "tiff-source", out = work / "tiff-out.tif";
    writeText(in, image);
    const std::string files = shellQuote(in) + " " + shellQuote(out);
    const std::string command = kind == TiffKind::asItIs      ? "vips copy " + files
                                : kind == TiffKind::opaque    ? "vips extract_band " + files + " 0 --n 3"
                                : kind == TiffKind::p3Profile ? "vips icc_transform " + files + " p3"
                                                              : "vips colourspace " + files + " rgb16";
    std::string output;
    EXPECT_EQ(runCommand(command, &output), 0) << output;
    std::string tiff = readText(out);
    fs::remove(in);
    fs::remove(out);
    return tiff;
}

// Replaces the image `from` of a package by a TIFF of the same picture at
// `to`, renaming its references in UTF-8 and UTF-16LE parts to `spelled` (`to`
// when empty), and declares it with `declaration` added to the content types.
inline void makeTiffVariant(const fs::path& original, const fs::path& variant, const std::string& from,
                            const std::string& to, TiffKind kind, const std::string& declaration,
                            std::string spelled = "") {
    if (spelled.empty()) spelled = to;
    Entries entries = readEntries(original);
    ASSERT_TRUE(entries.contains(from)) << from;
    entries[to] = tiffOf(entries[from], kind, variant.parent_path());
    entries.erase(from);
    for (auto& [name, bytes] : entries) {
        if (name == to) continue;
        bytes = replaceAll(replaceAll(bytes, from, spelled), utf16le(from), utf16le(spelled));
        if (name == "[Content_Types].xml") bytes = replaceAll(bytes, "</Types>", declaration + "</Types>");
    }
    writeDeflated(variant, entries, variant.parent_path());
}

}  // namespace packager::testing
