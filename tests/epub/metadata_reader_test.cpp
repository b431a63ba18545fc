#include "epub/metadata_reader.h"
#include "scratch.h"

namespace packager::testing {
namespace {

class MetaDataReaderTest : public ScratchTest {
protected:
    MetaDataReader read(const std::string& text) {
        writeText(scratch / "Metadata.xml", text);
        MetaDataReader reader;
        reader.readMetadataXml(scratch / "Metadata.xml");
        return reader;
    }
};

TEST_F(MetaDataReaderTest, UnusableFilesKeepDefaultsAndAddDefaultSubjects) {
    EXPECT_TRUE(MetaDataReader().bookSubjects().empty());
    for (const std::string text : {"<Metadata>", "<Metadata/>", "<M><Subject Keyword=\" \"/><Edition Name=\"\u00A0\"/></M>"}) {
        MetaDataReader reader = read(text);
        EXPECT_EQ(reader.bookTitle(), "ePub made using Pagewell") << text;
        EXPECT_EQ(reader.bookSubjects(), (std::vector<std::string>{"epub", "ebook", "Pagewell"})) << text;
    }
}

TEST_F(MetaDataReaderTest, ReadsEachFieldFromItsAttribute) {
    MetaDataReader reader = read(R"(<Anything>
        <Edition Name="First"/><Edition Name="  Second Title  "/>
        <Identifier ISBN="978-0-00-000000-2"/><Contributor Author="A. Writer"/>
        <Description Text="About it"/><Language Text="fr"/><Publisher Name="House"/>
        <ProductName Name="Maker"/><StoryDirection Type="horizontal"/>
        <Subject Keyword=" sea "/><Subject Keyword="sea"/>
        <edition Name="wrong case"/><Edition Title="wrong attribute"/>
        <Group><Edition Name="too deep"/></Group>
    </Anything>)");
    EXPECT_EQ(reader.bookTitle(), "  Second Title  ");  // stored untrimmed
    EXPECT_EQ(reader.bookIdentifier(), "978-0-00-000000-2");
    EXPECT_EQ(reader.bookCreator(), "A. Writer");
    EXPECT_EQ(reader.bookDescription(), "About it");
    EXPECT_EQ(reader.bookLanguage(), "fr");
    EXPECT_EQ(reader.bookPublisher(), "House");
    EXPECT_EQ(reader.contentGeneratorName(), "Maker");
    EXPECT_EQ(reader.storyDirection(), "horizontal");
    EXPECT_EQ(reader.bookSubjects(), (std::vector<std::string>{"sea", "sea"}));
}

}  // namespace
}  // namespace packager::testing
