// The run as the host sees it: the book's name, the workspace, overlapping
// runs and bad input; failure part way is the fault driver's
// (tests/reliability). The checks' codes are the plain-C host's (epub_host.c).
#include <chrono>
#include <thread>

#include "common/platform/workspace_lock.h"
#include "epub_fixture.h"

namespace packager::testing {
namespace {

class EpubRunTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = scratch / "export";
        writeText(source / "OEBPS" / "Flow_0.xhtml", page("<p>One</p>"));
    }

    fs::path source;
};

TEST_F(EpubRunTest, NamesTheBookAndKeepsForeignItems) {
    const fs::path out = scratch / "deep" / "out";
    writeText(out / "dummyfolder" / "keep.txt", "not the packager's");
    writeText(out / "Book.epub", "an older book");
    for (const auto& [asked, written] : std::vector<std::pair<std::string, std::string>>{
             {"Book", "Book.epub"}, {"Other.epub", "Other.epub"}, {"Caps.EPUB", "Caps.EPUB.epub"}, {"Trail//", "Trail.epub"}}) {
        EXPECT_EQ(package(source, out / asked, epubOptions()), 0u) << asked;
        EXPECT_EQ(entryNames(out / written).front(), "mimetype") << written;
    }
    EXPECT_EQ(readText(out / "dummyfolder" / "keep.txt"), "not the packager's");
    EXPECT_FALSE(fs::exists(tmp / "TavrinEpubTemp"));
    // Checks the plain-C host cannot reach: no bundle, and an empty destination.
    EXPECT_EQ(createEPubPackage(source.string(), (out / "B").string(), epubOptions(), std::nullopt), 8u);
    EXPECT_EQ(package(source, "", epubOptions()), 1u);

    // A folder carrying the book's name receives the book inside it.
    fs::create_directories(out / "Shelf.epub");
    EXPECT_EQ(package(source, out / "Shelf.epub", epubOptions()), 0u);
    EXPECT_TRUE(fs::is_regular_file(out / "Shelf.epub" / "Shelf.epub"));
}

TEST_F(EpubRunTest, RefusedOrFailedRunChangesNothing) {
    writeText(source / "OEBPS" / "images" / "a.png", "not looked at");
    const auto before = snapshot(scratch);
    for (const auto& [asked, code] : std::vector<std::pair<fs::path, std::uint32_t>>{
             {"/", 1}, {scratch / "out" / "..", 1}, {source / "OEBPS" / "images" / "Book", 1}, {source / "new" / "Book", 1}}) {
        EXPECT_EQ(package(source, asked, epubOptions()), code) << asked;
        EXPECT_TRUE(snapshot(scratch) == before) << asked;
    }
    // A failure after the destination probe takes back the folders it made.
    fs::rename(source / "OEBPS" / "Flow_0.xhtml", source / "OEBPS" / "flow_0.xhtml");
    EXPECT_EQ(package(source, scratch / "out" / "new" / "Book", epubOptions()), 14u);
    EXPECT_FALSE(fs::exists(scratch / "out"));
    fs::rename(source / "OEBPS" / "flow_0.xhtml", source / "OEBPS" / "Flow_0.xhtml");
    EXPECT_EQ(package(source, scratch / "out" / "Book", epubOptions()), 0u);
}

TEST_F(EpubRunTest, BadInputIsPackagedAsExportedAndSourceIsLeftAlone) {
    const std::string broken = page("<p><video id=\"box1\"></p>");
    writeText(source / "OEBPS" / "Flow_1.xhtml", broken);
    writeText(source / "OEBPS" / "Metadata.xml", "<Metadata><Edition Name=\"x\">");
    writeText(source / "OEBPS" / "toc.ncx", "<ncx");
    writeText(source / "AssetList.xml", "<AssetList><Asset ID=\"box1\"><Path>");
    const auto before = snapshot(source);

    ASSERT_EQ(package(source, scratch / "Book", epubOptions()), 0u);
    EXPECT_EQ(entryText(scratch / "Book.epub", "OEBPS/Flow_1.xhtml"), broken);
    EXPECT_EQ(entryText(scratch / "Book.epub", "OEBPS/toc.ncx"), "<ncx");
    EXPECT_NE(entryText(scratch / "Book.epub", "OEBPS/content.opf").find("ePub made using Pagewell"), std::string::npos);
    EXPECT_EQ(snapshot(source), before);
}

TEST_F(EpubRunTest, OverlappingRunWaitsForTheWorkspace) {
    auto held = platform::WorkspaceLock::acquire(tmp / "TavrinEpubTemp.lock");
    ASSERT_TRUE(held);
    fs::create_directories(tmp / "TavrinEpubTemp" / "busy");
    std::uint32_t code = 99;
    std::thread second([&] { code = package(source, scratch / "Book", epubOptions()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(fs::exists(tmp / "TavrinEpubTemp" / "busy"));  // the first run's workspace is intact
    held.reset();
    second.join();
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(fs::exists(scratch / "Book.epub"));
}

}  // namespace
}  // namespace packager::testing
