#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/archive/archive.h"
#include "package_contents.h"
#include "scratch.h"
#include "xps/xps_utility.h"

namespace packager::testing {

using Entries = std::map<std::string, std::string>;  // entry name -> bytes

inline std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

inline bool isTiffEntry(const std::string& name) {
    const std::string lowered = lower(name);
    return lowered.ends_with(".tif") || lowered.ends_with(".tiff");
}

// Every file entry with its bytes; empty when the archive cannot be opened.
inline Entries readEntries(const fs::path& xps) {
    Entries entries;
    std::optional<archive::Archive> opened = archive::Archive::open(xps);
    if (!opened) return entries;
    for (const std::string& name : opened->entryNames())
        if (!name.ends_with('/')) entries[name] = opened->read(name).value_or("<unreadable>");
    return entries;
}

inline std::vector<std::string> entryOrder(const fs::path& xps) {
    std::optional<archive::Archive> opened = archive::Archive::open(xps);
    return opened ? opened->entryNames() : std::vector<std::string>{};
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

struct Rendering {
    int pages = 0;
    bool clean = false;  // no error reported
    std::string output;
};

// Rasterises every page at a low resolution, so images are decoded too.
inline Rendering render(const fs::path& xps) {
    Rendering result;
    int status = runCommand("mutool draw -r 8 -F png -o /dev/null " + shellQuote(xps), &result.output);
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("page ")) ++result.pages;
        if (line.starts_with("error")) return result;
    }
    result.clean = status == 0;
    return result;
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

// An RGB TIFF of `image` (any RGB format vips reads), with or without its alpha.
inline std::string tiffOf(const std::string& image, bool keepAlpha, const fs::path& work) {
    const fs::path in = work / "tiff-source", out = work / "tiff-out.tif";
    writeText(in, image);
    std::string command = keepAlpha ? "vips copy " + shellQuote(in) + " " + shellQuote(out)
                                    : "vips extract_band " + shellQuote(in) + " " + shellQuote(out) + " 0 --n 3";
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
                            const std::string& to, bool keepAlpha, const std::string& declaration,
                            std::string spelled = "") {
    if (spelled.empty()) spelled = to;
    Entries entries = readEntries(original);
    ASSERT_TRUE(entries.contains(from)) << from;
    entries[to] = tiffOf(entries[from], keepAlpha, variant.parent_path());
    entries.erase(from);
    for (auto& [name, bytes] : entries) {
        if (name == to) continue;
        bytes = replaceAll(replaceAll(bytes, from, spelled), utf16le(from), utf16le(spelled));
        if (name == "[Content_Types].xml") bytes = replaceAll(bytes, "</Types>", declaration + "</Types>");
    }
    writeDeflated(variant, entries, variant.parent_path());
}

// Runs the update as the Blio packager does, with the files handed in.
inline bool compress(const fs::path& xps, const Entries& added, const std::vector<std::string>& extensions,
                     const fs::path& work, float level = 0.7f) {
    fs::remove_all(work / "staging");
    XpsUtility utility = XpsUtility::initWithXpsFile(xps, level, {work / "staging", "Documents/1/Other/KNFB"});
    int count = 0;
    for (const auto& [name, bytes] : added) {
        const fs::path source = work / ("added-" + std::to_string(count++));
        writeText(source, bytes);
        utility.addFile(source, name);
    }
    for (const std::string& extension : extensions) utility.registerFileType(extension);
    return utility.compressXps();
}

// A small valid XPS: one page per image, each painting its image from
// /Resources/<name>, declared by one Override each with `imageType`.
inline Entries miniXps(const Entries& images, const std::string& imageType = "image/tiff") {
    const std::string ns = "xmlns=\"http://schemas.microsoft.com/xps/2005/06\"";
    Entries entries;
    std::string types = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"fdseq\" ContentType=\"application/vnd.ms-package.xps-fixeddocumentsequence+xml\"/>"
                        "<Default Extension=\"fdoc\" ContentType=\"application/vnd.ms-package.xps-fixeddocument+xml\"/>"
                        "<Default Extension=\"fpage\" ContentType=\"application/vnd.ms-package.xps-fixedpage+xml\"/>";
    std::string document = "<FixedDocument " + ns + ">";
    int page = 0;
    for (const auto& [name, bytes] : images) {
        const std::string number = std::to_string(++page);
        const std::string part = "/Resources/" + name;
        types += "<Override PartName=\"" + part + "\" ContentType=\"" + imageType + "\"/>";
        document += "<PageContent Source=\"Pages/" + number + ".fpage\"/>";
        entries["Documents/1/Pages/" + number + ".fpage"] =
            "<FixedPage Width=\"100\" Height=\"100\" xml:lang=\"en\" " + ns + "><Path Data=\"M 0,0 L 100,0 100,100 0,100 Z\">"
            "<Path.Fill><ImageBrush ImageSource=\"" + part + "\" Viewbox=\"0,0,1,1\" ViewboxUnits=\"RelativeToBoundingBox\" "
            "Viewport=\"0,0,100,100\" ViewportUnits=\"Absolute\"/></Path.Fill></Path></FixedPage>";
        entries["Documents/1/Pages/_rels/" + number + ".fpage.rels"] =
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"R1\" "
            "Type=\"http://schemas.microsoft.com/xps/2005/06/required-resource\" Target=\"../../../Resources/" + name + "\"/></Relationships>";
        entries["Resources/" + name] = bytes;
    }
    entries["[Content_Types].xml"] = types + "</Types>";
    entries["_rels/.rels"] =
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship Id=\"R0\" "
        "Type=\"http://schemas.microsoft.com/xps/2005/06/fixedrepresentation\" Target=\"/FixedDocumentSequence.fdseq\"/></Relationships>";
    entries["FixedDocumentSequence.fdseq"] =
        "<FixedDocumentSequence " + ns + "><DocumentReference Source=\"/Documents/1/FixedDocument.fdoc\"/></FixedDocumentSequence>";
    entries["Documents/1/FixedDocument.fdoc"] = document + "</FixedDocument>";
    return entries;
}

// A white bilevel CCITT G4 TIFF, one strip: a few kilobytes for any size, as
// every row repeats the row above and so takes one bit.
inline std::string blankG4Tiff(std::uint32_t width, std::uint32_t height) {
    std::string strip((height + 7) / 8, '\xFF');
    strip += std::string("\x00\x10\x01\x00\x10\x01", 6);  // end of facsimile block
    if (strip.size() % 2 != 0) strip += '\0';                 // the directory starts on a word
    std::string tiff("II*\0", 4);
    auto put16 = [&](std::uint32_t value) { tiff += {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8 & 0xFF)}; };
    auto put32 = [&](std::uint32_t value) { put16(value & 0xFFFF); put16(value >> 16); };
    put32(8 + static_cast<std::uint32_t>(strip.size()));
    tiff += strip;
    constexpr std::uint32_t shortType = 3, longType = 4;
    const std::uint32_t tags[][3] = {
        {256, longType, width}, {257, longType, height}, {258, shortType, 1}, {259, shortType, 4},
        {262, shortType, 0},    {273, longType, 8},      {277, shortType, 1}, {278, longType, height},
        {279, longType, static_cast<std::uint32_t>(strip.size())},
    };
    put16(std::size(tags));
    for (const auto& [tag, type, value] : tags) {
        put16(tag);
        put16(type);
        put32(1);
        put32(value);  // a SHORT sits in the first two bytes, little-endian
    }
    put32(0);
    return tiff;
}

// The 1600x1200 photograph of the corpus, as an RGB TIFF.
inline std::string photoTiff(const fs::path& work) {
    const Entries corpus = readEntries(corpusDir() / "xps" / "aspose-sample1-1p-tiff-alpha-jpg-icc.xps");
    return tiffOf(corpus.at("Resources/R08LN_NN.jpg"), false, work);
}

}  // namespace packager::testing
