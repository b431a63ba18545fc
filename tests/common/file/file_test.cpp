#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "scratch.h"

#include <csignal>
#include <cstdlib>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace packager {
namespace {

using testing::readText;
using testing::writeText;
using Files = EpubPackagerFileUtility;

class FileTest : public testing::ScratchTest {
protected:
    std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const fs::path& entry : listFolder(folder)) names.push_back(entry.filename().string());
        return names;
    }
};

TEST_F(FileTest, FindInFileIgnoresAsciiCaseOnlyInValidUtf8) {
    writeText(scratch / "page.xhtml", "<p>caf\xc3\xa9 <VIDEO id=\"v1\"/></p>");
    EXPECT_TRUE(Files::findInFile(scratch / "page.xhtml", "Video"));
    EXPECT_TRUE(Files::findInFile(scratch / "page.xhtml", "CAF\xc3\xa9"));
    EXPECT_FALSE(Files::findInFile(scratch / "page.xhtml", "<svg"));
    EXPECT_FALSE(Files::findInFile(scratch / "page.xhtml", ""));
    EXPECT_FALSE(Files::findInFile(scratch / "missing.xhtml", "video"));

    // Each holds "video" but is not strict UTF-8.
    for (std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\x80", "\xe2\x82", "\xf5\x80\x80\x80", "\xf4\x90\x80\x80"}) {
        writeText(scratch / "bad.txt", "video " + bad);
        EXPECT_FALSE(Files::findInFile(scratch / "bad.txt", "video")) << ::testing::PrintToString(bad);
    }
}

TEST_F(FileTest, ReplaceInFileScansOnceAndNeverDamagesUndecodableText) {
    fs::path file = scratch / "text.txt";
    writeText(file, "aaa");
    EXPECT_TRUE(Files::replaceInFile(file, "a", "aa"));
    EXPECT_EQ(readText(file), "aaaaaa");

    EXPECT_TRUE(Files::replaceInFile(file, "zzz", "y"));
    EXPECT_EQ(readText(file), "aaaaaa");

    const std::string latin1 = "image7.tif caf\xe9";
    writeText(file, latin1);
    EXPECT_FALSE(Files::replaceInFile(file, "image7.tif", "image7.jpg"));
    EXPECT_EQ(readText(file), latin1);

    EXPECT_FALSE(Files::replaceInFile(scratch / "missing.txt", "a", "b"));
    EXPECT_FALSE(fs::exists(scratch / "missing.txt"));
    EXPECT_EQ(namesIn(scratch), (std::vector<std::string>{"text.txt", "tmp"}));  // no temporary left
}

TEST_F(FileTest, AtomicWriteLeavesNoTemporaryFiles) {
    fs::path folder = scratch / "out";
    fs::create_directories(folder / "taken");
    EXPECT_TRUE(writeFileAtomically(folder / "a.txt", "one"));
    EXPECT_TRUE(writeFileAtomically(folder / "a.txt", "two"));
    EXPECT_EQ(readText(folder / "a.txt"), "two");
    EXPECT_FALSE(writeFileAtomically(folder / "taken", "x"));  // rename over a folder fails
    EXPECT_FALSE(writeFileAtomically(folder / "no" / "b.txt", "x"));
    EXPECT_FALSE(copyFileAtomically(folder / "missing", folder / "c.txt"));
    EXPECT_TRUE(copyFileAtomically(folder / "a.txt", folder / "c.txt"));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"a.txt", "c.txt", "taken"}));
}

// The kernel kills a process the moment a write crosses its file-size limit:
// a deterministic death in the middle of writing.
TEST_F(FileTest, WriteKilledMidwayLeavesTheOldFileAndNothingElse) {
    fs::path folder = scratch / "out";
    writeText(folder / "a.txt", "old");
    writeText(scratch / "big", std::string(256 << 10, 'x'));
    for (bool copying : {false, true}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0}, limit{64 << 10, 64 << 10};
            setrlimit(RLIMIT_CORE, &noCore);
            setrlimit(RLIMIT_FSIZE, &limit);
            bool written = copying ? copyFileAtomically(scratch / "big", folder / "a.txt")
                                   : writeFileAtomically(folder / "a.txt", readText(scratch / "big"));
            _exit(written ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "copying " << copying;
        EXPECT_EQ(readText(folder / "a.txt"), "old");
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"a.txt"}) << "copying " << copying;
    }
}

TEST_F(FileTest, ReadFileRefusesWhatIsNotARegularFile) {
    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readFile(scratch / "fifo"));  // would block forever if opened blocking
    EXPECT_FALSE(readFile(scratch));
    writeText(scratch / "empty", "");
    EXPECT_EQ(readFile(scratch / "empty"), "");
}

TEST_F(FileTest, CopyChoosesItsTargetFromTheDestination) {
    writeText(scratch / "src" / "cover.png", "new");
    writeText(scratch / "src" / "images" / "a.png", "A");
    writeText(scratch / "src" / "images" / "sub" / "b.png", "B");

    struct Case {
        const char* from;
        const char* to;
        const char* expectFile;  // below scratch, holding the copied file's text
        const char* text;
    };
    const Case cases[] = {
        {"src/cover.png", "dest", "dest/cover.png", "new"},                   // existing folder
        {"src/cover.png", "missing/folder", "missing/folder/cover.png", "new"},  // no extension
        {"src/cover.png", "deep/er/renamed.png", "deep/er/renamed.png", "new"},  // extension
        {"src/cover.png", "dest/old.png", "dest/old.png", "new"},                // replaces a file
        {"src/images", "copied.d", "copied.d/sub/b.png", "B"},                  // folder, extension
        {"src/images", "copied", "copied/a.png", "A"},                          // folder, none
        {"src/images", "dest", "dest/images/sub/b.png", "B"},                   // into a folder
    };
    writeText(scratch / "dest" / "cover.png", "old");
    writeText(scratch / "dest" / "old.png", "old");
    writeText(scratch / "dest" / "images" / "stale.png", "old");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        EXPECT_TRUE(Files::copy(scratch / c.from, scratch / c.to));
        EXPECT_EQ(readText(scratch / c.expectFile), c.text);
    }
    EXPECT_FALSE(fs::exists(scratch / "dest" / "images" / "stale.png"));  // the folder was replaced whole
    EXPECT_FALSE(Files::copy(scratch / "nothing", scratch / "x"));
    EXPECT_FALSE(fs::exists(scratch / "x"));
}

TEST_F(FileTest, CopyNeverDestroysItsSourceOrFollowsLinks) {
    writeText(scratch / "book" / "page.xhtml", "page");
    writeText(scratch / "outside" / "secret.txt", "secret");
    fs::create_directory_symlink(scratch / "outside", scratch / "book" / "out");
    fs::create_directory_symlink(".", scratch / "book" / "loop");
    writeText(scratch / "book" / "caf\xe9 menu.txt", "latin-1 name");

    EXPECT_FALSE(Files::copy(scratch / "book", scratch));  // the target would be the source
    EXPECT_FALSE(Files::copy(scratch / "book" / "page.xhtml", scratch / "book"));
    EXPECT_EQ(readText(scratch / "book" / "page.xhtml"), "page");

    ASSERT_TRUE(Files::copy(scratch / "book", scratch / "copy"));
    EXPECT_EQ(walkFolder(scratch / "copy"), (std::vector<fs::path>{"caf\xe9 menu.txt", "page.xhtml"}));
}

TEST_F(FileTest, RemoveAndCreateFolders) {
    writeText(scratch / "outside" / "keep.txt", "keep");
    writeText(scratch / "work" / "file.txt", "x");
    fs::create_directory_symlink(scratch / "outside", scratch / "work" / "link");
    fs::create_directory_symlink(scratch / "outside", scratch / "alias");

    EXPECT_TRUE(Files::remove(scratch / "alias/"));  // the link, not what it points at
    EXPECT_TRUE(Files::remove(scratch / "work"));
    EXPECT_FALSE(Files::remove(scratch / "work"));
    EXPECT_EQ(readText(scratch / "outside" / "keep.txt"), "keep");

    EXPECT_TRUE(Files::createDirectoryAtPath(scratch / "a" / "b" / "c"));
    EXPECT_TRUE(Files::createDirectoryAtPath(scratch / "a" / "b"));
    EXPECT_TRUE(isFolder(scratch / "a" / "b" / "c"));
    EXPECT_FALSE(Files::createDirectoryAtPath(scratch / "outside" / "keep.txt" / "sub"));

    fs::create_symlink(scratch / "gone", scratch / "dangling");
    EXPECT_TRUE(exists(scratch / "dangling"));
    EXPECT_FALSE(isFolder(scratch / "dangling"));
}

TEST_F(FileTest, RandomFileNamesAreFreshLowerCaseHex) {
    std::set<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        std::string name = Files::randomFileName();
        ASSERT_EQ(name.size(), 12u);
        ASSERT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 1000u);
}

TEST_F(FileTest, WalkIsOrderedAndStaysInsideTheTree) {
    fs::path root = scratch / "root";
    writeText(root / "b" / "z.txt", "");
    writeText(root / "b" / "a.txt", "");
    writeText(root / "a.txt", "");
    fs::create_directories(root / "c");
    writeText(scratch / "elsewhere" / "x.txt", "");
    fs::create_directory_symlink(scratch / "elsewhere", root / "b" / "out");
    fs::create_directory_symlink("..", root / "b" / "loop");

    const std::vector<fs::path> expected{"a.txt", "b", "b/a.txt", "b/z.txt", "c"};
    EXPECT_EQ(walkFolder(root), expected);
    EXPECT_EQ(walkWholeFolder(root), expected);
    EXPECT_EQ(namesIn(root / "b"), (std::vector<std::string>{"a.txt", "loop", "out", "z.txt"}));
    EXPECT_TRUE(walkFolder(scratch / "missing").empty());
    EXPECT_FALSE(walkWholeFolder(scratch / "missing"));
}

TEST_F(FileTest, StandardizePathIsLexical) {
    const char* savedHome = std::getenv("HOME");
    std::string home = savedHome != nullptr ? savedHome : "";
    setenv("HOME", "/home/reader/", 1);
    const std::pair<const char*, const char*> cases[] = {
        {"~", "/home/reader"},     {"~/books/../Book", "/home/reader/Book"},
        {"/a/./b//c/", "/a/b/c"},  {"a/../../b", "../b"},
        {"/../x", "/x"},           {"./a/", "a"},
        {"a/..", "."},             {"~other/x", "~other/x"},
        {"", ""},                  {"/", "/"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(standardizePath(input), fs::path(expected)) << input;
    if (savedHome != nullptr) setenv("HOME", home.c_str(), 1);
    else unsetenv("HOME");
}

}  // namespace
}  // namespace packager
