// The run as the host sees it: the checks and their codes, the package's name
// and place, the tidy-up of an export folder that is also the destination,
// overlapping runs, and a package that cannot be updated.
#include <chrono>
#include <thread>

#include "blio_fixture.h"
#include "common/platform/workspace_lock.h"

namespace packager::testing {
namespace {

class BlioRunTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        source = copyExportFolder(corpusDir() / "blio-export" / "book1", scratch / "export");
    }

    fs::path source;
};

TEST_F(BlioRunTest, ChecksReturnTheirCodesAndLeaveTheSourceAlone) {
    const fs::path out = scratch / "out" / "Book";
    fs::create_directories(scratch / "bare-bundle" / "Resources");
    writeText(scratch / "a-file", "in the way");
    const auto before = snapshot(source);

    EXPECT_EQ(createBlioPackage(source.string(), out.string(), std::nullopt), 8u);
    // Checks run in order: the templates before the missing source.
    EXPECT_EQ(createBlioPackage((scratch / "missing").string(), out.string(), scratch / "bare-bundle"), 7u);
    EXPECT_EQ(packageBlio(source, scratch / "a-file" / "Book"), 1u);
    EXPECT_EQ(packageBlio(source, ""), 1u);
    EXPECT_EQ(packageBlio(scratch / "missing", out), 5u);
    EXPECT_EQ(packageBlio(scratch / "a-file", out), 5u);
    EXPECT_TRUE(snapshot(source) == before);

    fs::rename(source / "AssetList.xml", scratch / "AssetList.xml");
    EXPECT_EQ(packageBlio(source, out), 2u);
    fs::rename(scratch / "AssetList.xml", source / "AssetList.xml");

    // Only a file whose extension is exactly "xps" counts.
    fs::rename(source / "book1.xps", source / "book1.XPS");
    EXPECT_EQ(packageBlio(source, out), 4u);
    fs::create_directories(source / "a.xps");
    EXPECT_EQ(packageBlio(source, out), 4u);
    fs::remove(source / "a.xps");
    fs::rename(source / "book1.XPS", source / "book1.xps");

    writeText(tmp / "BlioTemp", "a file where the workspace goes");
    EXPECT_EQ(packageBlio(source, out), 10u);
    EXPECT_TRUE(snapshot(source) == before);
    EXPECT_FALSE(fs::exists(out.parent_path() / "Book.xps"));
}

TEST_F(BlioRunTest, NamesThePackageAndMakesItsFolder) {
    const fs::path out = scratch / "deep" / "out";
    writeText(out / "dummyfolder" / "keep.txt", "not the packager's");
    fs::create_directories(tmp / "BlioTemp" / "leftover");
    for (const auto& [asked, written] : std::vector<std::pair<std::string, std::string>>{
             {"Book", "Book.xps"}, {"Other.xps", "Other.xps"}, {"Caps.XPS", "Caps.XPS.xps"}}) {
        EXPECT_EQ(packageBlio(source, out / asked), 0u) << asked;
        EXPECT_TRUE(fs::is_regular_file(out / written)) << written;
    }
    EXPECT_EQ(readText(out / "dummyfolder" / "keep.txt"), "not the packager's");
    EXPECT_FALSE(fs::exists(tmp / "BlioTemp"));
    EXPECT_TRUE(fs::exists(source / "AssetList.xml"));  // elsewhere, the export is not tidied
}

TEST_F(BlioRunTest, ExportFolderAsDestinationKeepsOnlyThePackage) {
    fs::create_directories(scratch / "outside");
    writeText(scratch / "outside" / "precious.txt", "not the export's");
    fs::create_directory_symlink(scratch / "outside", source / "link-out");
    fs::create_directories(source / "Book_ASSETS");
    writeText(source / "Book_ASSETS" / "kept.txt", "the package's assets");

    ASSERT_EQ(packageBlio(source, source / "Book"), 0u);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(source)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Book.xps", "Book_ASSETS"}));
    EXPECT_EQ(readText(source / "Book_ASSETS" / "kept.txt"), "the package's assets");
    EXPECT_EQ(readText(scratch / "outside" / "precious.txt"), "not the export's");
}

TEST_F(BlioRunTest, PackageUpdatedInPlaceWhenTheDestinationIsTheSourceXps) {
    ASSERT_EQ(packageBlio(source, source / "BOOK1.xps"), 0u);
    const std::vector<std::string> entries = entryNames(source / "book1.xps");
    EXPECT_NE(std::find(entries.begin(), entries.end(), "Documents/1/Other/KNFB/Metadata.xml"), entries.end());
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(source)) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, (std::vector<std::string>{"book1.xps"}));
}

TEST_F(BlioRunTest, PackageThatCannotBeUpdatedIsNotDelivered) {
    writeText(source / "book1.xps", "not an archive");
    fs::remove(source / "Metadata.xml");  // the one file the run edits in the export
    const auto before = snapshot(source);

    EXPECT_EQ(packageBlio(source, scratch / "out" / "Book"), 6u);
    EXPECT_FALSE(fs::exists(scratch / "out" / "Book.xps"));
    EXPECT_EQ(packageBlio(source, source / "Book"), 6u);
    EXPECT_TRUE(snapshot(source) == before);  // in particular, no tidy-up
    EXPECT_FALSE(fs::exists(tmp / "BlioTemp"));
}

TEST_F(BlioRunTest, OverlappingRunWaitsForTheWorkspace) {
    auto held = platform::WorkspaceLock::acquire(tmp / "BlioTemp.lock");
    ASSERT_TRUE(held);
    fs::create_directories(tmp / "BlioTemp" / "busy");
    std::uint32_t code = 99;
    std::thread second([&] { code = packageBlio(source, scratch / "Book"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(fs::exists(tmp / "BlioTemp" / "busy"));  // the first run's workspace is intact
    held.reset();
    second.join();
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(fs::exists(scratch / "Book.xps"));
}

TEST_F(BlioRunTest, CommandLinePrintsThePackageOrTheMessage) {
    std::string output;
    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " blio " + shellQuote(source) + " " + shellQuote(scratch / "Book"), &output),
              0);
    EXPECT_EQ(output, (scratch / "Book.xps").string() + "\n");
    EXPECT_TRUE(fs::is_regular_file(scratch / "Book.xps"));

    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " blio " + shellQuote(scratch / "missing") + " " +
                             shellQuote(scratch / "Other"), &output),
              5);
    EXPECT_NE(output.find("Source is not a valid folder"), std::string::npos) << output;
}

}  // namespace
}  // namespace packager::testing
