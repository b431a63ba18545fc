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

TEST_F(FileTest, FindAndReplaceTrustOnlyStrictUtf8) {
    fs::path file = scratch / "page.xhtml";
    writeText(file, "<p>caf\xc3\xa9 <VIDEO id=\"v1\"/></p>");
    EXPECT_TRUE(Files::findInFile(file, "Video"));
    EXPECT_TRUE(Files::findInFile(file, "CAF\xc3\xa9"));
    EXPECT_FALSE(Files::findInFile(scratch / "missing.xhtml", "video"));
    // Each holds "video" but is not strict UTF-8.
    for (std::string bad : {"\xc0\xaf", "\xed\xa0\x80", "\x80", "\xe2\x82", "\xf4\x90\x80\x80"}) {
        writeText(scratch / "bad.txt", "video " + bad);
        EXPECT_FALSE(Files::findInFile(scratch / "bad.txt", "video")) << ::testing::PrintToString(bad);
    }

    writeText(file, "aaa");
    EXPECT_TRUE(Files::replaceInFile(file, "a", "aa"));  // one scan: replaced text is not scanned again
    EXPECT_EQ(readText(file), "aaaaaa");
    for (fs::perms mode : {fs::perms(0600), fs::perms(0444)}) {
        fs::permissions(file, mode);
        EXPECT_TRUE(Files::replaceInFile(file, "a", "b"));
        EXPECT_EQ(fs::status(file).permissions(), mode);  // replaced in place, never widened
    }
    fs::permissions(file, fs::perms(0644));
    const std::string latin1 = "image7.tif caf\xe9";
    writeText(file, latin1);
    EXPECT_FALSE(Files::replaceInFile(file, "image7.tif", "image7.jpg"));
    EXPECT_EQ(readText(file), latin1);
    EXPECT_FALSE(Files::replaceInFile(scratch / "missing.txt", "a", "b"));
    EXPECT_EQ(namesIn(scratch), (std::vector<std::string>{"bad.txt", "page.xhtml", "tmp"}));  // no temporary left
}

TEST_F(FileTest, AtomicWritesReplaceWholeFilesOrNothing) {
    fs::path folder = scratch / "out";
    fs::create_directories(folder / "taken");
    EXPECT_TRUE(writeFileAtomically(folder / "a.txt", "one"));
    EXPECT_TRUE(writeFileAtomically(folder / "a.txt", "two"));
    EXPECT_EQ(readText(folder / "a.txt"), "two");
    EXPECT_FALSE(writeFileAtomically(folder / "taken", "x"));  // rename over a folder fails
    EXPECT_FALSE(writeFileAtomically(folder / "no" / "b.txt", "x"));
    EXPECT_FALSE(copyFileAtomically(folder / "missing", folder / "c.txt"));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"a.txt", "taken"}));

    // The kernel kills a process the moment a write crosses its file-size
    // limit: a deterministic death in the middle of writing.
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
        EXPECT_EQ(readText(folder / "a.txt"), "two");
        EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"a.txt", "taken"})) << "copying " << copying;
    }

    ASSERT_EQ(::mkfifo((scratch / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readFile(scratch / "fifo"));  // would block forever if opened blocking
    EXPECT_FALSE(readFile(scratch));
    writeText(scratch / "empty", "");
    EXPECT_EQ(readFile(scratch / "empty"), "");  // empty, not unreadable
}

TEST_F(FileTest, CopyChoosesItsTargetFromTheDestination) {
    writeText(scratch / "src" / "cover.png", "new");
    writeText(scratch / "src" / "images" / "a.png", "A");
    writeText(scratch / "src" / "images" / "sub" / "b.png", "B");
    writeText(scratch / "dest" / "old.png", "old");
    writeText(scratch / "dest" / "images" / "stale.png", "old");
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        // from, to, a file the copy must have written below scratch, its text
        {"src/cover.png", "dest", "dest/cover.png", "new"},                      // existing folder
        {"src/cover.png", "missing/folder", "missing/folder/cover.png", "new"},  // no extension
        {"src/cover.png", "dest/old.png", "dest/old.png", "new"},                // replaces a file
        {"src/cover.png", "deep/er/renamed.png", "deep/er/renamed.png", "new"},  // extension
        {"src/images", "copied.d", "copied.d/sub/b.png", "B"},                   // a folder: always `to`
        {"src/images", "dest", "dest/images/sub/b.png", "B"},                    // into a folder
    };
    for (const auto& [from, to, expectFile, text] : cases) {
        EXPECT_TRUE(Files::copy(scratch / from, scratch / to)) << from << " -> " << to;
        EXPECT_EQ(readText(scratch / expectFile), text) << from << " -> " << to;
    }
    EXPECT_FALSE(fs::exists(scratch / "dest" / "images" / "stale.png"));  // the folder was replaced whole
    EXPECT_FALSE(Files::copy(scratch / "nothing", scratch / "x"));
    EXPECT_FALSE(fs::exists(scratch / "x"));
}

// Links inside a tree are never followed: a copy, a walk or a removal would
// otherwise reach outside it, or loop. Nor is a tree whose root is a link, and
// a FIFO is passed over, never opened.
TEST_F(FileTest, TreeOperationsStayInsideTheTree) {
    fs::path root = scratch / "book";
    writeText(root / "b" / "z.txt", "z");
    writeText(root / "b" / "a.txt", "a");
    writeText(root / "caf\xe9.txt", "latin-1 name");
    fs::create_directories(root / "c");
    writeText(scratch / "outside" / "keep.txt", "keep");
    fs::create_directory_symlink(scratch / "outside", root / "b" / "out");
    fs::create_directory_symlink("..", root / "b" / "loop");
    fs::create_directory_symlink(scratch / "outside", scratch / "alias");
    ASSERT_EQ(::mkfifo((root / "b" / "pipe").c_str(), 0600), 0);

    const std::vector<fs::path> expected{"b", "b/a.txt", "b/z.txt", "c", "caf\xe9.txt"};
    EXPECT_EQ(walkFolder(root), expected);
    EXPECT_EQ(walkWholeFolder(root), expected);
    EXPECT_FALSE(walkWholeFolder(scratch / "missing"));
    EXPECT_TRUE(walkFolder(scratch / "alias").empty());
    EXPECT_FALSE(walkWholeFolder(scratch / "alias"));
    EXPECT_FALSE(Files::copy(scratch / "alias", scratch / "alias-copy"));
    EXPECT_FALSE(Files::copy(root / "b" / "pipe", scratch / "pipe.txt"));
    EXPECT_FALSE(copyFileAtomically(root / "b" / "pipe", scratch / "pipe.txt"));

    EXPECT_FALSE(Files::copy(root, scratch));  // the target would be the source
    EXPECT_FALSE(Files::copy(root / "b" / "a.txt", root / "b"));
    EXPECT_EQ(readText(root / "b" / "a.txt"), "a");
    ASSERT_TRUE(Files::copy(root, scratch / "copy"));
    EXPECT_EQ(walkFolder(scratch / "copy"), expected);

    EXPECT_TRUE(Files::remove(scratch / "alias/"));  // the link, not what it points at
    EXPECT_TRUE(Files::remove(root));
    EXPECT_FALSE(Files::remove(root));
    EXPECT_EQ(readText(scratch / "outside" / "keep.txt"), "keep");
    EXPECT_FALSE(fs::exists(scratch / "alias"));
}

TEST_F(FileTest, RandomFileNamesAreFreshLowerCaseHex) {
    std::set<std::string> names;
    for (int i = 0; i < 1000; ++i) names.insert(Files::randomFileName());
    EXPECT_EQ(names.size(), 1000u);
    for (const std::string& name : names)
        ASSERT_TRUE(name.size() == 12 && name.find_first_not_of("0123456789abcdef") == std::string::npos) << name;
}

TEST_F(FileTest, StandardizePathIsLexical) {
    const char* savedHome = std::getenv("HOME");
    std::string home = savedHome != nullptr ? savedHome : "";
    setenv("HOME", "/home/reader/", 1);
    for (const auto& [input, expected] : {std::pair{"~/books/../Book", "/home/reader/Book"}, {"/a/./b//c/", "/a/b/c"},
                                          {"a/../../b", "../b"}, {"/../x", "/x"}, {"a/..", "."}, {"~other/x", "~other/x"}})
        EXPECT_EQ(standardizePath(input), fs::path(expected)) << input;
    if (savedHome != nullptr) setenv("HOME", home.c_str(), 1);
    else unsetenv("HOME");
}

}  // namespace
}  // namespace packager
