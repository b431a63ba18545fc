#include <gtest/gtest.h>

#include "common/xml/xml.h"
#include "xps/content_types.h"
#include "xps/text_encoding.h"
#include "xps_fixture.h"

namespace packager::xps {
namespace {

using namespace packager::testing;

class InterleavedContentTypesTest : public ScratchTest {
protected:
    const fs::path original = corpusDir() / "xps" / "pdfsharpxps-crop-example-interleaved-1p-png.xps";
    fs::path copy() {
        const fs::path xps = scratch / "interleaved.xps";
        fs::copy_file(original, xps);
        return xps;
    }
    static std::vector<std::string> pieces(const fs::path& xps) {
        std::vector<std::string> names;
        for (const std::string& name : entryOrder(xps))
            if (name.starts_with("[Content_Types].xml/")) names.push_back(name.substr(name.find('/') + 1));
        return names;
    }
};

TEST_F(InterleavedContentTypesTest, NewPieceDeclaresEachRegisteredTypeOnceBeforeTheLastPiece) {
    const fs::path xps = copy();
    ASSERT_TRUE(compress(xps, {{"Documents/1/Other/KNFB/Metadata.xml", "<m/>"}}, {"png", "tif", "xml", "png", "PNG"}, scratch));

    std::vector<std::string> expected;
    for (int i = 0; i < 16; ++i) expected.push_back("[" + std::to_string(i) + "].piece");
    expected.push_back("[16].last.piece");
    EXPECT_EQ(pieces(xps), expected);  // stored in number order

    const Entries before = readEntries(original), after = readEntries(xps);
    EXPECT_EQ(after.at("[Content_Types].xml/[15].piece"),
              "<Default Extension=\"png\" ContentType=\"image/png\"/><Default Extension=\"xml\" ContentType=\"text/xml\"/>");
    EXPECT_EQ(after.at("[Content_Types].xml/[16].last.piece"), before.at("[Content_Types].xml/[15].last.piece"));
    for (int i = 0; i < 15; ++i) {
        const std::string name = "[Content_Types].xml/[" + std::to_string(i) + "].piece";
        EXPECT_EQ(after.at(name), before.at(name)) << name;
    }
    std::string error;
    EXPECT_TRUE(xml::Document::parseMemory(contentTypes(xps), xml::Parse::Strict, &error)) << error;
}

TEST_F(InterleavedContentTypesTest, NothingHandedInLeavesThePiecesWhereTheyWere) {
    const fs::path xps = copy();
    ASSERT_TRUE(compress(xps, {}, {"png", "xml"}, scratch));
    EXPECT_EQ(entryOrder(xps), entryOrder(original));
    EXPECT_EQ(readEntries(xps), readEntries(original));
}

class SingleEntryContentTypesTest : public ScratchTest {};

// A single-entry document gets a Default for each extension the update
// brings that nothing declares yet (an Override for a part without one), put
// before its end tag; its encoding,
// byte-order mark, declaration and everything else stay as they were.
TEST_F(SingleEntryContentTypesTest, AddedPartsAreDeclaredAndTheRestKeptByteForByte) {
    const std::string plain = miniXps({}).at("[Content_Types].xml");
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";
    const std::string styled = "\xEF\xBB\xBF" +
                               replaceAll(replaceAll(plain, declaration, "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n"),
                                          "</Types>", "<!-- kept -->\r\n</Types>\r\n");
    const std::string declared = replaceAll(plain, "</Types>",
                                            "<Default Extension=\"JPG\" ContentType=\"image/jpeg\"/>"
                                            "<Override PartName=\"/documents/1/other/knfb/METADATA.xml\" ContentType=\"text/xml\"/></Types>");
    const Entries knfb = {{"Documents/1/Other/KNFB/BackArt.jpg", "jpeg"},
                          {"Documents/1/Other/KNFB/Metadata.xml", "<m/>"},
                          {"Documents/1/Other/KNFB/EnhancedContent/a/Viewer.HTML", "<html/>"}};
    const std::map<std::string, std::string> knfbTypes = {{"jpg", "image/jpeg"}, {"xml", "text/xml"}, {"html", "text/html"}};
    const Entries withNotes = {{"Documents/1/Other/KNFB/BackArt.jpg", "jpeg"},
                               {"Documents/1/Other/KNFB/Metadata.xml", "<m/>"},
                               {"Documents/1/Other/KNFB/Notes.TXT", "notes"},
                               {"Documents/1/Other/KNFB/README", "no extension"}};
    const std::tuple<const char*, std::string, Entries, std::map<std::string, std::string>> cases[] = {
        {"mark, standalone, comment", styled, knfb, knfbTypes},
        {"UTF-16", encodeText(replaceAll(plain, "utf-8", "utf-16"), Encoding::utf16le, true), knfb, knfbTypes},
        {"declared in another case", declared, withNotes,
         {{"txt", "application/octet-stream"}, {"/Documents/1/Other/KNFB/README", "application/octet-stream"}}},
        {"nothing new", declared, {{"Documents/1/Other/KNFB/BackArt.jpg", "jpeg"}}, {}},
    };
    for (const auto& [what, document, added, expected] : cases) {
        SCOPED_TRACE(what);
        Entries entries = miniXps({});
        entries["[Content_Types].xml"] = document;
        const fs::path xps = scratch / "single.xps";
        writeDeflated(xps, entries, scratch);
        ASSERT_TRUE(compress(xps, added, {"png", "xml"}, scratch));

        const std::string after = readEntries(xps).at("[Content_Types].xml");
        const std::optional<DecodedText> before = decodeText(document), now = decodeText(after);
        ASSERT_TRUE(before && now);
        EXPECT_EQ(now->encoding, before->encoding);
        EXPECT_EQ(now->byteOrderMark, before->byteOrderMark);
        const std::size_t end = before->text.rfind("</Types>");
        ASSERT_TRUE(now->text.starts_with(before->text.substr(0, end)) && now->text.ends_with(before->text.substr(end)))
            << now->text;
        const std::string inserted = now->text.substr(end, now->text.size() - before->text.size());
        auto fragment = xml::Document::parseMemory("<Types>" + inserted + "</Types>");
        ASSERT_TRUE(fragment) << inserted;
        std::map<std::string, std::string> types;
        for (const xml::Element& element : fragment->root().children())
            types[element.attribute("Extension").value_or(element.attribute("PartName").value_or(""))] =
                element.attribute("ContentType").value_or("");
        EXPECT_EQ(types, expected) << inserted;
        EXPECT_EQ(untypedParts(xps), std::vector<std::string>{});
    }
}

class RetypingTest : public ScratchTest {};

// Only declarations count, not a comment; values are compared as they read
// and written escaped; a piece may end anywhere, even inside a value.
TEST_F(RetypingTest, ConvertedImagesAreRenamedAndRetypedAndKeptTiffsAreNot) {
    const ImageRetyping retyping{"image/jpeg", {{"A&B.tif", "A&B.jpg"}}, {"tiff"}};
    const std::string types = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
    const std::string before = types +
                               "<!-- <Override PartName=\"/Resources/A&B.tif\" ContentType=\"image/tiff\"/> -->"
                               "<Default Extension=\"tif\" ContentType=\"image/tiff\"/>"
                               "<Default Extension=\"tiff\" ContentType=\"image/tiff\"/>"
                               "<Override PartName=\"/Resources/A&amp;B.tif\" ContentType=\"image&#x2F;tiff\"/>"
                               "<Override ContentType='image/tiff' PartName='/Resources/kept.tiff' /></Types>";
    const std::string after = types +
                              "<!-- <Override PartName=\"/Resources/A&B.tif\" ContentType=\"image/tiff\"/> -->"
                              "<Default Extension=\"tif\" ContentType=\"image/jpeg\"/>"
                              "<Default Extension=\"tiff\" ContentType=\"image/tiff\"/>"
                              "<Override PartName=\"/Resources/A&amp;B.jpg\" ContentType=\"image/jpeg\"/>"
                              "<Override ContentType='image/tiff' PartName='/Resources/kept.tiff' /></Types>";
    const fs::path single = scratch / "single" / contentTypesName;
    writeText(single, before);
    EXPECT_EQ(retypeImages(single, retyping), std::vector<std::string>{std::string(contentTypesName)});
    EXPECT_EQ(readText(single), after);

    const fs::path pieces = scratch / "pieces" / contentTypesName;
    const std::size_t split = before.find("x2F");
    writeText(pieces / "[0].piece", before.substr(0, split));
    writeText(pieces / "[1].last.piece", before.substr(split));
    const auto rewritten = retypeImages(pieces, retyping);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(rewritten->size(), 2u);
    EXPECT_EQ(readText(pieces / "[0].piece") + readText(pieces / "[1].last.piece"), after);
}

}  // namespace
}  // namespace packager::xps
