#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "common/platform/platform.h"
#include "scratch.h"

namespace packager::platform {
namespace {

using packager::testing::ScratchTest;

TEST(Utf16, ConvertsEveryPlaneAndReplacesWhatIsNotText) {
    const std::uint16_t text[] = {'a', 0x00E9, 0x20AC, 0xD83D, 0xDCD6, 0};  // a, é, €, 📖
    const std::uint16_t loneHigh[] = {'x', 0xD800, 'y', 0}, loneLow[] = {0xDC00, 0}, highAtEnd[] = {0xDBFF, 0};
    EXPECT_EQ(utf16ToUtf8(text), "a\u00e9\u20ac\U0001F4D6");
    EXPECT_EQ(utf16ToUtf8(loneHigh), "x\uFFFDy");
    EXPECT_EQ(utf16ToUtf8(loneLow), "\uFFFD");
    EXPECT_EQ(utf16ToUtf8(highAtEnd), "\uFFFD");
    EXPECT_EQ(utf16ToUtf8(nullptr), "");

    std::u16string units = utf8ToUtf16("a\u00e9\u20ac\U0001F4D6");
    EXPECT_EQ(utf16ToUtf8(reinterpret_cast<const std::uint16_t*>(units.c_str())), "a\u00e9\u20ac\U0001F4D6");
    EXPECT_EQ(utf8ToUtf16("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD");            // overlong "/"
    EXPECT_EQ(utf8ToUtf16("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(utf8ToUtf16("\xe2\x82"), u"\uFFFD\uFFFD");            // truncated
}

class TempFolderTest : public ScratchTest {};

// The workspace is removed with everything in it, so its root must be a real
// folder that nobody else can swap or fill.
TEST_F(TempFolderTest, TempFolderIsAlwaysAFolderOfTheUser) {
    fs::create_directory_symlink(tmp, scratch / "link");
    testing::writeText(scratch / "file", "");
    fs::path foreign = scratch / "foreign";
    fs::create_directory(foreign);
    if (::getuid() == 0) ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    else foreign = "/";  // root's, and not sticky
    const std::pair<fs::path, std::optional<fs::path>> cases[] = {
        {tmp.string() + "//", tmp}, {"/tmp", "/tmp"},  // root's, but sticky
        {scratch / "link", std::nullopt}, {scratch / "file", std::nullopt},
        {scratch / "missing", std::nullopt}, {foreign, std::nullopt},
    };
    for (const auto& [tmpdir, expected] : cases) {
        setenv("TMPDIR", tmpdir.c_str(), 1);
        EXPECT_EQ(userTempFolder(), expected) << tmpdir;
    }

    unsetenv("TMPDIR");
    auto fallback = userTempFolder();
    ASSERT_EQ(fallback, fs::path("/tmp/ebookpack-" + std::to_string(getuid())));
    struct stat info {};
    ASSERT_EQ(lstat(fallback->c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode) && info.st_uid == getuid());
}

}  // namespace
}  // namespace packager::platform
