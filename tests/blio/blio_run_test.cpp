// The run as the host sees it: the checks and their codes, the package's name
// and place, the tidy-up of an export folder that is also the destination,
// destinations refused, overlapping runs, and a package that cannot be updated.
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

// A destination in or beside the export folder. Only the export folder itself
// (the same folder on the disk, not a name in another case) is tidied, down to
// the package and its "_Assets" folder; a destination below the export, or one
// with no file name, is refused before anything is written.
struct Destination {
    const char* name;
    const char* asked;  // below the scratch folder, whose "export" is the source
    std::uint32_t code;
    const char* written;                  // the package, below the scratch folder
    std::vector<std::string> exportLeft;  // after a tidy-up; empty when the export is not tidied
    bool needsCaseSensitivity = false;
};

void PrintTo(const Destination& destination, std::ostream* out) { *out << destination.name; }

const Destination kDestinations[] = {
    {"ExportFolder", "export/Book", 0, "export/Book.xps", {"Book.xps", "Book_Assets"}},
    {"ExportsOwnXps", "export/book1", 0, "export/book1.xps", {"book1.xps"}},
    {"ExportsXpsInOtherCase", "export/BOOK1", 0, "export/BOOK1.xps", {"BOOK1.xps"}, true},
    {"FolderNamedLikeTheExport", "EXPORT/Book", 0, "EXPORT/Book.xps", {}, true},
    {"TrailingSeparators", "out/Book//", 0, "out/Book.xps", {}},
    {"Root", "/", 1, "", {}},
    {"ParentFolder", "out/..", 1, "", {}},
    {"InsideFlow", "export/Flow/Book", 1, "", {}},
    {"NewFolderInsideTheExport", "export/new/Book", 1, "", {}},
};

class BlioDestinationTest : public BlioRunTest, public ::testing::WithParamInterface<Destination> {};

TEST_P(BlioDestinationTest, OnlyTheExportFolderItselfIsTidied) {
    const Destination& row = GetParam();
    fs::create_directories(scratch / "EXPORT");
    if (row.needsCaseSensitivity && fs::equivalent(scratch / "EXPORT", source)) GTEST_SKIP() << "names ignore case here";
    writeText(scratch / "EXPORT" / "theirs.txt", "another folder's");
    writeText(scratch / "outside" / "precious.txt", "not the export's");
    fs::create_directory_symlink(scratch / "outside", source / "link-out");
    writeText(source / "Book_Assets" / "kept.txt", "the package's assets");
    writeText(source / "Book_ASSETS" / "other.txt", "a folder of another name");
    fs::permissions(source / "Metadata.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto before = snapshot(scratch);

    ASSERT_EQ(packageBlio(source, row.asked[0] == '/' ? fs::path(row.asked) : scratch / row.asked), row.code);
    EXPECT_EQ(readText(scratch / "outside" / "precious.txt"), "not the export's");
    EXPECT_EQ(readText(scratch / "EXPORT" / "theirs.txt"), "another folder's");
    if (row.code != 0) {
        EXPECT_TRUE(snapshot(scratch) == before);
        return;
    }
    const std::string metadata = entryText(scratch / row.written, "Documents/1/Other/KNFB/Metadata.xml");
    EXPECT_NE(metadata, "");
    EXPECT_EQ(metadata.find("#SPINEDEPTH#"), std::string::npos);
    if (!row.exportLeft.empty()) {
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(source)) left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, row.exportLeft);
        return;
    }
    // Not tidied: the export's Metadata.xml got its spine depth and kept its mode.
    EXPECT_EQ(readText(source / "Metadata.xml"), metadata);
    EXPECT_EQ(fs::status(source / "Metadata.xml").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(packageBlio(source, scratch / "next" / "Book"), 0u);
}

INSTANTIATE_TEST_SUITE_P(InAndBesideTheExport, BlioDestinationTest, ::testing::ValuesIn(kDestinations),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BlioRunTest, PackageThatCannotBeUpdatedIsNotDelivered) {
    writeText(source / "book1.xps", "not an archive");
    const auto before = snapshot(source);

    // The folders made for the package go again with the failed run.
    EXPECT_EQ(packageBlio(source, scratch / "out" / "new" / "Book"), 6u);
    EXPECT_FALSE(fs::exists(scratch / "out"));
    EXPECT_EQ(packageBlio(source, source / "Book"), 6u);
    EXPECT_TRUE(snapshot(source) == before);  // Metadata.xml not filled in, and no tidy-up
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
    // Printed as written: a trailing separator is not part of the name.
    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " blio " + shellQuote(source) + " " + shellQuote(scratch / "Shelf/"),
                         &output),
              0);
    EXPECT_EQ(output, (scratch / "Shelf.xps").string() + "\n");

    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " blio " + shellQuote(scratch / "missing") + " " +
                             shellQuote(scratch / "Other"), &output),
              5);
    EXPECT_NE(output.find("Source is not a valid folder"), std::string::npos) << output;
}

}  // namespace
}  // namespace packager::testing
