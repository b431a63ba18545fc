#include <gtest/gtest.h>

#include "scratch.h"
#include "xps/reference_renaming.h"
#include "xps/text_encoding.h"

namespace packager::xps {
namespace {

using namespace packager::testing;

TEST(ReferenceRenaming, ReplacesWholeTopLevelImageReferencesOnly) {
    const std::map<std::string, std::string> renamed = {
        {"a.tif", "a.jpg"}, {"a.tif.tif", "a.tif.jpg"}, {"image1.tif", "image1.jpg"}, {"my image.tif", "my image.jpg"}};
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(ImageSource="/Resources/a.tif")", R"(ImageSource="/Resources/a.jpg")"},
        {R"(Target="../../../Resources/a.tif")", R"(Target="../../../Resources/a.jpg")"},
        {R"(PartName='/Resources/image1.tif' x="/Resources/my image.tif")",
         R"(PartName='/Resources/image1.jpg' x="/Resources/my image.jpg")"},
        {"{ColorConvertedBitmap /Resources/a.tif /Resources/p.icc}", "{ColorConvertedBitmap /Resources/a.jpg /Resources/p.icc}"},
        {R"(/Resources/a.tif.tif)", R"(/Resources/a.tif.jpg)"},  // the longer name wins
        // Other names that merely contain an old one, and folders of the same name deeper down.
        {R"("/Resources/a.tiff" "/Resources/xa.tif" "/Resources/image10.tif" "/Resources/a.tif/b")",
         R"("/Resources/a.tiff" "/Resources/xa.tif" "/Resources/image10.tif" "/Resources/a.tif/b")"},
        {R"("/Documents/1/Resources/a.tif" "/MyResources/a.tif" "../Images/Resources/a.tif")",
         R"("/Documents/1/Resources/a.tif" "/MyResources/a.tif" "../Images/Resources/a.tif")"},
        {"Resources/a.tif", "Resources/a.jpg"},
        // Package readers compare part names in any case and with escapes decoded.
        {R"(ImageSource="/resources/A.TIF" Target="../../../RESOURCES/a.tif")",
         R"(ImageSource="/resources/A.jpg" Target="../../../RESOURCES/a.jpg")"},
        {R"("/Resources/my%20image.tif" "/Resources/My%20Image.TIF" "/Resources/%61.tif")",
         R"("/Resources/my%20image.jpg" "/Resources/My%20Image.jpg" "/Resources/%61.jpg")"},
        {R"("/Resources/a%2Etif" "/Resources/a.ti%66f")", R"("/Resources/a%2Ejpg" "/Resources/a.ti%66f")"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(renameReferences(text, renamed), expected) << text;
}

TEST(ReferenceRenaming, ImagesNamedInWaysTheRenamingMissesAreHeldBack) {
    const std::set<std::string> candidates = {"a.tif", "b.tif", "my image.tif"};
    const std::string utf16 = encodeText(R"(ImageSource="/Resources/a.tif")", Encoding::utf16le, false);
    const std::vector<std::pair<std::optional<std::string>, std::set<std::string>>> cases = {
        {R"("/Resources/a.tif" "../../../Resources/my image.tif" "/Resources/ba.tif" "/Resources/a.tiff")", {}},
        {R"(ImageSource="/resources/A.TIF" x="/Resources/my%20image.tif")", {}},  // renamed all the same
        {R"(ImageSource="a.tif")", {"a.tif"}},                             // relative to Resources
        {R"("/Documents/1/Resources/a.tif")", {"a.tif"}},                  // maybe the same part, maybe not
        {"<!-- R\xE9sum\xE9 --> \"/RESOURCES/A.TIF\"", {"a.tif", "my image.tif"}},  // Latin-1: any non-plain name
        {utf16, {"a.tif", "my image.tif"}},                                  // UTF-16 without its mark
        {std::nullopt, candidates},                                          // unreadable
    };
    for (const auto& [part, held] : cases) EXPECT_EQ(mentionsLeftByRenaming(part, candidates), held) << part.value_or("unreadable");
}

TEST(TextEncoding, RoundTripsUtf8AndUtf16WithTheirMarks) {
    const std::string text = "<p>caf\xC3\xA9 \xF0\x9F\x93\x96 \xD8\xA8</p>";  // 2-, 4- and 2-byte sequences
    for (Encoding encoding : {Encoding::utf8, Encoding::utf16le, Encoding::utf16be}) {
        for (bool mark : {true, false}) {
            if (encoding != Encoding::utf8 && !mark) continue;  // UTF-16 is only recognised by its mark
            const std::string bytes = encodeText(text, encoding, mark);
            std::optional<DecodedText> decoded = decodeText(bytes);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->text, text);
            EXPECT_EQ(decoded->encoding, encoding);
            EXPECT_EQ(decoded->byteOrderMark, mark);
        }
    }
    EXPECT_EQ(encodeText("A\xF0\x9F\x93\x96", Encoding::utf16le, true), std::string("\xFF\xFE" "A\0\x3D\xD8\xD6\xDC", 8));
}

class TextEncodingFile : public ScratchTest {};

TEST_F(TextEncodingFile, PartsInNoRecognisedEncodingAreLeftByteForByte) {
    const std::vector<std::string> undecodable = {
        "Resources/a.tif \xC3\x28",                     // invalid UTF-8
        "Resources/a.tif \xC0\xAF",                     // overlong
        std::string("\xFF\xFE" "R\0e\0s\0", 7),         // odd UTF-16 length
        std::string("\xFF\xFE" "a\0\x00\xDC", 6),       // lone low surrogate
        std::string("\xFE\xFF\xD8\x00", 4),             // high surrogate at the end
        std::string("<\0a\0 \0/\0>\0", 10),             // UTF-16 without its byte-order mark
    };
    const fs::path file = scratch / "part.fpage";
    for (const std::string& bytes : undecodable) {
        EXPECT_FALSE(decodeText(bytes)) << bytes;
        writeText(file, bytes);
        EXPECT_EQ(editText(file, [](std::string_view) { return std::string("changed"); }), EditOutcome::unchanged);
        EXPECT_EQ(readText(file), bytes);
    }
}

}  // namespace
}  // namespace packager::xps
