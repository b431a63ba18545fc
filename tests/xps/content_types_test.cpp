#include <gtest/gtest.h>

#include "common/xml/xml.h"
#include "xps/content_types.h"
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
              "<Default Extension=\"png\" ContentType=\"image/png\" />\n"
              "<Default Extension=\"xml\" ContentType=\"text/xml\" />\n");
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

TEST(ContentTypes, ConvertedImagesAreRetypedAndKeptTiffsAreNot) {
    const ImageRetyping retyping{"image/jpeg", {"/resources/a.jpg"}, {"tiff"}};
    const std::string text =
        "<Default Extension=\"tif\" ContentType=\"image/tiff\"/>"
        "<Default Extension=\"tiff\" ContentType=\"image/tiff\"/>"
        "<Override PartName=\"/Resources/A.jpg\" ContentType=\"image/tiff\"/>"
        "<Override ContentType='image/tiff' PartName='/Resources/kept.tiff' />";
    EXPECT_EQ(retypeImages(text, retyping),
              "<Default Extension=\"tif\" ContentType=\"image/jpeg\"/>"
              "<Default Extension=\"tiff\" ContentType=\"image/tiff\"/>"
              "<Override PartName=\"/Resources/A.jpg\" ContentType=\"image/jpeg\"/>"
              "<Override ContentType='image/tiff' PartName='/Resources/kept.tiff' />");
}

}  // namespace
}  // namespace packager::xps
