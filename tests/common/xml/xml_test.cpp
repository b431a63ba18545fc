#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/xml/xml.h"
#include "scratch.h"

namespace packager::xml {
namespace {

using packager::testing::ScratchTest;
using packager::testing::readText;
using packager::testing::writeText;
namespace fs = std::filesystem;

constexpr const char* opfNamespace = "http://www.idpf.org/2007/opf";
constexpr const char* dcNamespace = "http://purl.org/dc/elements/1.1/";

// The parser hands "&#8288;" and "&#160;" over as the characters themselves.
std::string resolveCharacterReferences(std::string text) {
    for (auto [reference, character] : {std::pair{"&#8288;", "\u2060"}, std::pair{"&#160;", "\u00a0"}})
        for (auto at = text.find(reference); at != std::string::npos; at = text.find(reference, at))
            text.replace(at, std::string_view(reference).size(), character);
    return text;
}

Document parsed(std::string_view text) {
    std::string error;
    std::optional<Document> document = Document::parseMemory(text, Parse::Strict, &error);
    EXPECT_TRUE(document.has_value()) << error;
    return document ? std::move(*document) : Document::create("failed");
}

TEST(XmlWrite, BuiltDocumentIsPrettyEscapedAndReparsesToItself) {
    Document document = Document::create("package");
    Element package = document.root();
    package.addNamespace("", opfNamespace);
    package.setAttribute("version", "2.0");
    Element metadata = package.addChild("metadata");
    metadata.addNamespace("dc", dcNamespace);
    metadata.addNamespace("opf", opfNamespace);
    metadata.addChild("dc:title", "Caf\u00e9 & <Co>");
    metadata.addChild("dc:identifier", "978-0").setAttribute("opf:scheme", "ISBN");
    package.addChild("manifest");

    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\">\n"
        "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:opf=\"http://www.idpf.org/2007/opf\">\n"
        "    <dc:title>Caf\u00e9 &amp; &lt;Co&gt;</dc:title>\n"
        "    <dc:identifier opf:scheme=\"ISBN\">978-0</dc:identifier>\n"
        "  </metadata>\n"
        "  <manifest/>\n"
        "</package>\n";
    EXPECT_EQ(document.serialize(), expected);
    Document again = parsed(expected);
    EXPECT_EQ(again.root().firstChild("metadata").firstChild("dc:title").text(), "Caf\u00e9 & <Co>");
    EXPECT_EQ(again.serialize(), expected);  // a pretty document is a fixed point

    // Pretty printing redoes only the whitespace between elements.
    EXPECT_EQ(parsed("<list>\n\t\t<a>one</a>   <b/>\n<p>Mixed <i>text</i> stays\n as it was</p>"
                     "<pre xml:space=\"preserve\">\n  <c/>\n</pre></list>")
                  .serialize({.declareEncoding = false}),
              "<?xml version=\"1.0\"?>\n<list>\n  <a>one</a>\n  <b/>\n  <p>Mixed <i>text</i> stays\n as it was</p>\n"
              "  <pre xml:space=\"preserve\">\n  <c/>\n</pre>\n</list>\n");
}

TEST(XmlEdit, AttributesKeepTheirOrderAndTextIsLiteral) {
    Document document = parsed("<r><item id=\"a\" href=\"x\" media-type=\"m\"/></r>");
    Element item = document.root().firstChild("item");
    item.setAttribute("href", "y \"quoted\" & <more>");
    item.setAttribute("properties", "nav");
    item.removeAttribute("id");
    item.setAttribute("id", "b");
    EXPECT_EQ(document.serialize({.pretty = false}),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<r><item href=\"y &quot;quoted&quot; &amp; &lt;more&gt;\" media-type=\"m\" properties=\"nav\" "
              "id=\"b\"/></r>\n");
    // What looks like a reference is escaped, not resolved.
    item.setText("<b>&amp;</b>");
    EXPECT_EQ(parsed(document.serialize()).root().firstChild("item").text(), "<b>&amp;</b>");
}

TEST(XmlEdit, CharactersXmlCannotCarryBecomeReplacementCharacters) {
    Document document = Document::create("r");
    Element item = document.root().addChild("item");
    item.setAttribute("href", "a\xFF\x01\tb\xC3\xA9\xEF\xBF\xBF");
    item.setText(std::string("\0x\x1F", 3));
    Document again = parsed(document.serialize());
    EXPECT_EQ(again.root().firstChild("item").attribute("href"), "a\uFFFD\uFFFD\tb\u00E9\uFFFD");
    EXPECT_EQ(again.root().firstChild("item").text(), "\uFFFDx\uFFFD");
}

class XmlFileTest : public ScratchTest {};

// Only the edited element changes; it gets an end tag as a non-void element,
// while the page's img and link elements keep their empty-element tags.
TEST_F(XmlFileTest, EditedPageKeepsEverythingButTheEdit) {
    fs::path original = packager::testing::corpusDir() / "export/sierra/OEBPS/Flow_5.xhtml";
    std::string expected = readText(original);
    std::optional<Document> page = Document::parseFile(original);
    ASSERT_TRUE(page);
    Element audio;
    for (Element paragraph : page->root().firstChild("body").firstChild("div").children("p"))
        if (Element found = paragraph.firstChild("audio")) audio = found;
    ASSERT_EQ(audio.attribute("id"), "box27");
    audio.setAttribute("src", "media/sound.mp3");
    audio.removeAttribute("id");
    ASSERT_TRUE(page->save(scratch / "Flow_5.xhtml", {.pretty = false, .xhtml = true}));
    EXPECT_FALSE(page->save(scratch / "missing" / "Flow_5.xhtml"));

    const std::string oldDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    const std::string oldAudio = "<audio id=\"box27\" controls=\"controls\" src=\"placeholder.mp3\"/>";
    ASSERT_EQ(expected.rfind(oldDeclaration, 0), 0u);
    ASSERT_NE(expected.find(oldAudio), std::string::npos);
    expected.replace(expected.find(oldAudio), oldAudio.size(), "<audio controls=\"controls\" src=\"media/sound.mp3\"></audio>");
    expected.replace(0, oldDeclaration.size(), "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    EXPECT_EQ(readText(scratch / "Flow_5.xhtml"), resolveCharacterReferences(expected));
}

// Nothing is printed: each message names the file and line instead.
TEST_F(XmlFileTest, UnreadableInputsGiveNoDocumentAndSayWhy) {
    ::testing::internal::CaptureStderr();
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"unclosed.xml", "<?xml version=\"1.0\"?>\n<a>\n<b></a>"},
             {"latin1.xml", "<a>caf\xe9</a>"},  // undeclared, so UTF-8, which this is not
             {"prolog-only.xml", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n"},
             {"two-roots.xml", "<a/><b/>"},
             {"absent.xml", ""}}) {
        if (name != "absent.xml") writeText(scratch / name, bytes);
        std::string error;
        EXPECT_FALSE(Document::parseFile(scratch / name, Parse::Strict, &error)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << name << ": " << error;
    }
    std::string error;
    EXPECT_FALSE(Document::parseMemory("<a>\n<b>x</a>", Parse::Strict, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    // Recovery keeps what it can read, but still needs a root.
    std::optional<Document> recovered = Document::parseMemory("<a><b/><b><c></a>", Parse::Recover);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->root().children("b").size(), 2u);
    EXPECT_FALSE(Document::parseMemory("no markup at all", Parse::Recover));
}

TEST_F(XmlFileTest, EntitiesAreNeverExpandedNorLoaded) {
    const std::string secret = (scratch / "secret.txt").string(), dtd = (scratch / "outside.dtd").string();
    writeText(secret, "TOP-SECRET-CONTENT");
    writeText(dtd, "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
    std::string lol = "<!ENTITY lol0 \"lollollollollollollollollollol\">";
    for (int i = 1; i < 10; ++i) {
        lol += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) lol += "&lol" + std::to_string(i - 1) + ";";
        lol += "\">";
    }
    const std::string hostile[] = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" + secret + "\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"" + secret + "\">]><r a=\"&x;\">&x;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><r>&leak;</r>",
        "<!DOCTYPE r SYSTEM \"file://" + dtd + "\"><r>&leak;</r>",
        "<!DOCTYPE r [" + lol + "]><r a=\"&lol9;\">&lol9;</r>",
    };
    for (Parse mode : {Parse::Strict, Parse::Recover}) {
        for (const std::string& text : hostile) {
            auto started = std::chrono::steady_clock::now();
            std::string error;
            ::testing::internal::CaptureStderr();
            std::optional<Document> document = Document::parseMemory(text, mode, &error);
            EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
            // Whatever comes back, as a tree or as an error, holds no secret and no expansion.
            std::string output = document ? document->serialize() + document->root().text() +
                                                 document->root().attribute("a").value_or("")
                                           : error;
            EXPECT_EQ(output.find("TOP-SECRET"), std::string::npos) << output;
            EXPECT_LT(output.size(), 10000u);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << text.substr(0, 80);
        }
    }
}

}  // namespace
}  // namespace packager::xml
