#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/platform/platform.h"
#include "common/platform/workspace_lock.h"
#include "scratch.h"

namespace packager::platform {
namespace {

using packager::testing::ScratchTest;

TEST(Utf16, ConvertsEveryPlaneAndReplacesLoneSurrogates) {
    const std::uint16_t text[] = {'a', 0x00E9, 0x20AC, 0xD83D, 0xDCD6, 0};  // a, é, €, 📖
    EXPECT_EQ(utf16ToUtf8(text), "a\u00e9\u20ac\U0001F4D6");

    const std::uint16_t loneHigh[] = {'x', 0xD800, 'y', 0};
    const std::uint16_t loneLow[] = {0xDC00, 0};
    const std::uint16_t highAtEnd[] = {0xDBFF, 0};
    EXPECT_EQ(utf16ToUtf8(loneHigh), "x\uFFFDy");
    EXPECT_EQ(utf16ToUtf8(loneLow), "\uFFFD");
    EXPECT_EQ(utf16ToUtf8(highAtEnd), "\uFFFD");
    EXPECT_EQ(utf16ToUtf8(nullptr), "");
}

TEST(Utf16, RoundTripsAndReplacesInvalidUtf8) {
    std::string text = "Caf\u00e9 \U0001F4D6 /tmp/Book";
    std::u16string units = utf8ToUtf16(text);
    units.push_back(0);
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(units.c_str())), text);

    EXPECT_EQ(utf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD");  // overlong "/"
    EXPECT_EQ(utf8ToUtf16("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(utf8ToUtf16("\xe2\x82"), u"\uFFFD\uFFFD");  // truncated
}

class TempFolderTest : public ScratchTest {};

TEST_F(TempFolderTest, FollowsTmpdirWithoutTrailingSeparators) {
    setenv("TMPDIR", (tmp.string() + "//").c_str(), 1);
    EXPECT_EQ(userTempFolder(), tmp);
}

TEST_F(TempFolderTest, FallsBackToAPrivateFolderOfTheUser) {
    unsetenv("TMPDIR");
    auto folder = userTempFolder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, fs::path("/tmp/ebookpack-" + std::to_string(getuid())));
    struct stat info {};
    ASSERT_EQ(lstat(folder->c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, getuid());
}

TEST(Bundle, IsTheFolderOfTheLoadedCode) {
    auto folder = bundleFolder();
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(fs::is_directory(*folder));
    EXPECT_TRUE(folder->is_absolute());
}

class LockTest : public ScratchTest {};

TEST_F(LockTest, SecondHolderWaitsForTheFirst) {
    fs::path lockFile = scratch / "run.lock";
    int held[2], release[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(release), 0);
    // The first holder is another process, as an overlapping run would be.
    pid_t child = fork();
    if (child == 0) {
        auto first = WorkspaceLock::acquire(lockFile);
        char byte = first ? 'y' : 'n';
        if (write(held[1], &byte, 1) != 1 || read(release[0], &byte, 1) != 1) _exit(1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(held[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');

    std::atomic<bool> acquired = false;
    std::thread second([&] { acquired = WorkspaceLock::acquire(lockFile).has_value(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(acquired) << "the second holder got the lock while the first held it";
    ASSERT_EQ(write(release[1], "x", 1), 1);
    second.join();
    EXPECT_TRUE(acquired);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int descriptor : {held[0], held[1], release[0], release[1]}) close(descriptor);
}

}  // namespace
}  // namespace packager::platform
