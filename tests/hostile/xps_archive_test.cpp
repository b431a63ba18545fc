// Blio exports whose XPS is hostile or damaged where the update has to read
// it: zip bombs, entries named to land outside the staging folder, content-type
// pieces and pages that cannot be read or decoded, an image declaring
// gigapixels. After every row the export's XPS is the original byte for byte
// (and the run failed, delivering nothing) or the complete update, every image
// a page names is a part of it, and nothing was written outside the workspace.
#include <chrono>
#include <functional>
#include <regex>
#include <set>

#include "common/text/ascii_case.h"
#include "common/xml/xml.h"
#include "hostile_export.h"
#include "xps_entries.h"

namespace packager::testing {
namespace {

constexpr std::string_view kLocalHeader("PK\3\4", 4);
constexpr std::string_view kCentralHeader("PK\1\2", 4);
constexpr std::size_t kLocalHeaderSize = 30, kCentralHeaderSize = 46;

unsigned littleEndian16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

// Calls `header` with the offset of each zip header, local or central, that
// carries `name`, and whether it is the local one.
void forEachHeader(const std::string& zip, const std::string& name, const std::function<void(std::size_t, bool)>& header) {
    for (std::size_t at = zip.find(name); at != std::string::npos; at = zip.find(name, at + 1)) {
        if (at >= kLocalHeaderSize && zip.substr(at - kLocalHeaderSize, 4) == kLocalHeader) header(at - kLocalHeaderSize, true);
        if (at >= kCentralHeaderSize && zip.substr(at - kCentralHeaderSize, 4) == kCentralHeader) header(at - kCentralHeaderSize, false);
    }
}

// Its stored CRC no longer matches (or its deflated data no longer inflates).
void corruptEntry(std::string& zip, const std::string& name) {
    forEachHeader(zip, name, [&](std::size_t header, bool local) {
        if (local) zip[header + kLocalHeaderSize + name.size() + littleEndian16(zip, header + 28) + 2] ^= 0x55;
    });
}

// General-purpose flag bit 0: readers need a password they are not given.
void flagEncrypted(std::string& zip, const std::string& name) {
    forEachHeader(zip, name, [&](std::size_t header, bool local) { zip[header + (local ? 6 : 8)] |= 1; });
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

// Every "Resources/..." a page or relationship part names, UTF-16 included,
// is a part of the package.
void expectImagesResolve(const Entries& entries) {
    for (const auto& [name, bytes] : entries) {
        if (!name.ends_with(".fpage") && !name.ends_with(".rels")) continue;
        std::string text = bytes;
        std::erase(text, '\0');
        for (std::size_t at = text.find("Resources/"); at != std::string::npos; at = text.find("Resources/", at + 1)) {
            const std::string part = text.substr(at, text.find_first_of("\"' <>", at) - at);
            EXPECT_TRUE(entries.contains(part)) << name << " names the missing " << part;
        }
    }
}

// The content type a package reader gives `part` ("/Resources/a.jpg"): its
// Override, else the Default for its extension.
std::string declaredType(const fs::path& xps, const std::string& part) {
    auto types = xml::Document::parseMemory(contentTypes(xps));
    if (!types) return {};
    // The text after the name's last dot: ".rels" has the extension "rels".
    const std::string name = part.substr(part.rfind('/') + 1);
    const std::string extension = name.rfind('.') == std::string::npos ? "" : name.substr(name.rfind('.') + 1);
    std::string byExtension;
    for (const xml::Element& type : types->root().children()) {
        const std::string contentType = type.attribute("ContentType").value_or("");
        if (type.name() == "Override" && lowerCased(type.attribute("PartName").value_or("")) == lowerCased(part)) return contentType;
        if (type.name() == "Default" && lowerCased(type.attribute("Extension").value_or("")) == lowerCased(extension))
            byExtension = contentType;
    }
    return byExtension;
}

// The parts a package reader finds no content type for; an interleaved part
// is named without its piece suffixes.
std::vector<std::string> untypedParts(const fs::path& xps) {
    static const std::regex piece("/\\[[0-9]+\\](\\.last)?\\.piece$");
    std::set<std::string> parts;
    for (const auto& entry : readEntries(xps)) parts.insert(std::regex_replace(entry.first, piece, ""));
    parts.erase("[Content_Types].xml");
    std::vector<std::string> untyped;
    for (const std::string& part : parts)
        if (declaredType(xps, "/" + part).empty()) untyped.push_back(part);
    return untyped;
}

struct HostileXps {
    const char* name;
    std::function<void(Entries&)> edit;         // of the example's entries
    std::function<void(std::string&)> damage;   // of the zipped bytes
    std::uint32_t expected;
    bool pageImageConverted;
};

class XpsArchiveTest : public HostileExportTest {};

TEST_F(XpsArchiveTest, DamagedOrHostileXpsGivesTheOriginalOrTheWholeUpdate) {
    const std::string absolute = (scratch / "abs.tif").string();
    // Placeholders as long as the hostile names, swapped in once zipped: the
    // zip tool would not store the hostile names themselves.
    const std::vector<std::pair<std::string, std::string>> hostileNames = {
        {"xx/xx/xx/escape.tif", "../../../escape.tif"},
        {"x" + absolute.substr(1), absolute},
        {"xx_xx_xx_back.tif", "..\\..\\..\\back.tif"},
    };
    const std::string page = "Documents/1/Pages/1.fpage", lastPiece = "[Content_Types].xml/[1].last.piece";
    const std::vector<HostileXps> cases = {
        // Over 1000 times their deflated size, though far below 1 GiB. A page
        // that cannot be read may name any image, so none is converted.
        {"bombs and escaping names",
         [&](Entries& entries) {
             entries["Resources/bomb.tif"] = std::string(64 << 20, '\0');
             entries["Documents/1/Pages/2.fpage"] = std::string(64 << 20, ' ');
             for (const auto& [placeholder, name] : hostileNames) entries[placeholder] = entries.at("Resources/page1.tif");
         },
         [&](std::string& zip) {
             for (const auto& [placeholder, name] : hostileNames) zip = replaceAll(zip, placeholder, name);
         },
         0, false},
        {"content-type piece with a bad CRC", {}, [&](std::string& zip) { corruptEntry(zip, lastPiece); }, 6, false},
        {"content-type piece flagged encrypted", {}, [&](std::string& zip) { flagEncrypted(zip, lastPiece); }, 6, false},
        {"content-type piece over 1000:1", [&](Entries& entries) { entries[lastPiece] += std::string(64 << 20, ' '); }, {}, 6, false},
        // Only the markup counts: a character reference, not a comment's or
        // a CDATA section's text, nor an end tag named in a comment.
        {"content types as one entry, with a reference, a comment and CDATA",
         [&](Entries& entries) {
             const std::string declared = "<Default Extension=\"tif\" ContentType=\"image/tiff\" />";
             const std::string types = entries.at("[Content_Types].xml/[0].piece") + entries.at(lastPiece);
             entries.erase("[Content_Types].xml/[0].piece");
             entries.erase(lastPiece);
             entries["[Content_Types].xml"] =
                 replaceAll(types, declared, "<!-- " + declared + " --><![CDATA[" + declared + "]]>" +
                                                 "<Override PartName=\"/Resources/page1.tif\" ContentType=\"image&#x2F;tiff\"/>") +
                 "<!-- </Types> -->";
         },
         {}, 0, true},
        {"page with a bad CRC", {}, [&](std::string& zip) { corruptEntry(zip, page); }, 0, false},
        {"image with a bad CRC", {}, [&](std::string& zip) { corruptEntry(zip, "Resources/page1.tif"); }, 0, false},
        {"page declared Latin-1",
         [&](Entries& entries) { entries[page] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!-- R\xE9sum\xE9 -->" + entries[page]; },
         {}, 0, false},
        // Only whole names hold an image back: a longer name that ends in
        // it, or a part that cannot be decoded but names no image, does not.
        {"page naming the image inside a longer name",
         [&](Entries& entries) { entries[page] += "<!-- xxpage1.tif -->"; }, {}, 0, true},
        {"page naming the image where no reference is renamed",
         [&](Entries& entries) { entries[page] += "<!-- page1.tif -->"; }, {}, 0, false},
        {"second page in Latin-1 naming no image",
         [&](Entries& entries) {
             entries["Documents/1/Pages/2.fpage"] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!-- R\xE9sum\xE9 -->";
         },
         {}, 0, true},
        {"page in UTF-16 without a byte-order mark", [&](Entries& entries) { entries[page] = utf16le(entries[page]); }, {}, 0, false},
        {"page in UTF-16 cut inside a character",
         [&](Entries& entries) { entries[page] = "\xFF\xFE" + utf16le(entries[page]) + '<'; }, {}, 0, false},
        // 13 KB declaring 3.6 gigapixels: left as it is, quickly.
        {"CCITT G4 image of 60000x60000", [](Entries& entries) { entries["Resources/huge.tif"] = blankG4Tiff(60000, 60000); }, {}, 0, true},
    };

    for (const HostileXps& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(scratch / "blio-export");
        fs::remove_all(blioPackage.parent_path());
        const fs::path blio = copyBlioExample();
        const fs::path xps = blio / "blio-book.xps";
        Entries entries = readEntries(xps);
        ASSERT_FALSE(entries.empty());
        if (row.edit) row.edit(entries);
        writeDeflated(xps, entries, scratch);
        std::string bytes = readText(xps);
        ASSERT_LT(bytes.size(), 2u << 20);
        if (row.damage) row.damage(bytes);
        writeText(xps, bytes);
        const Entries original = readEntries(xps);

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(packageBlioBook(blio), row.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

        const Entries updated = readEntries(xps);
        expectImagesResolve(updated);
        if (row.expected != 0) {
            EXPECT_EQ(readText(xps), bytes);
            EXPECT_FALSE(fs::exists(blioPackage));
        } else {
            EXPECT_EQ(readText(blioPackage), readText(xps));
            EXPECT_LT(fs::file_size(xps), bytes.size() + (256u << 10));
            EXPECT_TRUE(updated.contains("Documents/1/Other/KNFB/Metadata.xml"));
            EXPECT_EQ(updated.contains("Resources/page1.tif"), !row.pageImageConverted);
            EXPECT_EQ(untypedParts(xps), std::vector<std::string>{});
            if (row.pageImageConverted) {
                EXPECT_EQ(declaredType(xps, "/Resources/page1.jpg"), "image/jpeg");
            }
            for (const auto& [name, data] : original) {
                if (name == "Resources/page1.tif" && row.pageImageConverted) continue;
                // Renumbered, and a TIFF declaration retyped once no TIFF is left.
                if (name.starts_with("[Content_Types].xml/")) {
                    const std::string types = contentTypes(xps);
                    const std::string retyped = replaceAll(data, "\"image/tiff\"", "\"image/jpeg\"");
                    EXPECT_TRUE(types.find(data) != std::string::npos || types.find(retyped) != std::string::npos)
                        << name << " was lost";
                    continue;
                }
                auto kept = updated.find(name);
                if (kept == updated.end()) {
                    ADD_FAILURE() << name << " was lost";
                } else if (name.starts_with("Resources/")) {
                    EXPECT_EQ(kept->second, data) << name;
                }
            }
        }
        for (const auto& entry : fs::recursive_directory_iterator(scratch)) {
            const std::string name = entry.path().filename().string();
            for (const char* escaped : {"escape.tif", "abs.tif", "back.tif"}) EXPECT_FALSE(name.ends_with(escaped)) << entry.path();
        }
        EXPECT_FALSE(fs::exists(tmp / "BlioTemp"));
    }
}

}  // namespace
}  // namespace packager::testing
