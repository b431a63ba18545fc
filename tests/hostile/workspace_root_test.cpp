// A temporary folder the run cannot trust, given as TMPDIR: both entry points
// refuse it with code 10 and leave nothing anywhere, not even the destination
// folder that their probe made.
#include <sys/stat.h>
#include <unistd.h>

#include "hostile_export.h"

namespace packager::testing {
namespace {

constexpr uid_t kOtherUser = 65534;

struct WorkspaceRoot {
    const char* name;
    void (*make)(const fs::path& root);
    bool trusted;
};

void otherUsersFolder(const fs::path& root, mode_t mode) {
    fs::create_directory(root);
    ASSERT_EQ(::chmod(root.c_str(), mode), 0);
    ASSERT_EQ(::chown(root.c_str(), kOtherUser, kOtherUser), 0);
}

const WorkspaceRoot kRoots[] = {
    {"LinkToOwnFolder",
     [](const fs::path& root) {
         fs::create_directory(root.string() + "-real");
         fs::create_directory_symlink(root.string() + "-real", root);
     },
     false},
    {"RegularFile", [](const fs::path& root) { writeText(root, "not a folder"); }, false},
    {"OtherUsersFolder", [](const fs::path& root) { otherUsersFolder(root, 0777); }, false},
    {"OtherUsersStickyFolder", [](const fs::path& root) { otherUsersFolder(root, 01777); }, false},
    {"RootsStickyFolder",
     [](const fs::path& root) {
         fs::create_directory(root);
         ASSERT_EQ(::chmod(root.c_str(), 01777), 0);
     },
     true},
};

void PrintTo(const WorkspaceRoot& root, std::ostream* out) { *out << root.name; }

class WorkspaceRootTest : public HostileExportTest, public ::testing::WithParamInterface<std::tuple<WorkspaceRoot, bool>> {};

TEST_P(WorkspaceRootTest, UntrustedRootIsRefusedBeforeAnythingIsWritten) {
    const auto& [root, blio] = GetParam();
    if (::getuid() != 0) GTEST_SKIP() << "folders of root and of other users need root to make";
    const fs::path blioSource = blio ? copyBlioExample() : fs::path();
    root.make(scratch / "root");
    setenv("TMPDIR", (scratch / "root").c_str(), 1);
    const auto before = snapshot(scratch);

    const std::uint32_t code = blio ? packageBlioBook(blioSource) : packageBook();
    if (root.trusted) {
        EXPECT_EQ(code, 0u);
        EXPECT_TRUE(fs::exists(blio ? blioPackage : book));
        return;
    }
    EXPECT_EQ(code, 10u);
    EXPECT_TRUE(snapshot(scratch) == before);
}

INSTANTIATE_TEST_SUITE_P(BothEntryPoints, WorkspaceRootTest, ::testing::Combine(::testing::ValuesIn(kRoots), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Blio" : "Epub");
                         });

}  // namespace
}  // namespace packager::testing
