// Runs of one user started together share one TMPDIR and so one workspace
// name per kind: they must wait for each other, not delete each other's work.
// Runs writing into one folder must not either: a run removes only the staged
// files of runs that were killed, never one still being written.
#include <fcntl.h>
#include <sys/file.h>

#include "reliability_fixture.h"

namespace packager::testing {
namespace {

constexpr int kRunsPerKind = 4;

class Concurrency : public ScratchTest {
protected:
    std::optional<ChildProcess> start(const BookKind& kind, const fs::path& exportFolder, const fs::path& folder) {
        fs::create_directories(folder);
        return ChildProcess::start(cliPath(), kind.arguments(exportFolder, folder), scratch / "runs.log");
    }
};

TEST_F(Concurrency, RunsOfOneUserWaitForEachOther) {
    const BookKind epub = epubBook();
    const BookKind blio = blioBook();
    // The ePub runs share one export, as a host packaging it repeatedly would;
    // every Blio run updates its export in place, so each has its own.
    const fs::path epubExport = scratch / "epub-export";
    prepareExport(epub, epubExport);
    auto reference = start(epub, epubExport, scratch / "reference");
    ASSERT_TRUE(reference && reference->wait().code == 0);
    const auto referenceEntries = readableEntries(epub.package(scratch / "reference"));
    ASSERT_TRUE(referenceEntries);

    struct Run {
        BookKind kind;
        fs::path exportFolder, destination;
    };
    std::vector<Run> runs;
    for (int i = 0; i < kRunsPerKind; ++i) {
        runs.push_back({epub, epubExport, scratch / ("epub-" + std::to_string(i))});
        const fs::path blioExport = scratch / ("blio-export-" + std::to_string(i));
        prepareExport(blio, blioExport);
        runs.push_back({blio, blioExport, scratch / ("blio-" + std::to_string(i))});
    }
    std::vector<std::optional<ChildProcess>> children;
    for (const Run& run : runs) children.push_back(start(run.kind, run.exportFolder, run.destination));

    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        ASSERT_TRUE(children[i]);
        const ChildOutcome outcome = children[i]->wait();
        EXPECT_TRUE(outcome.exited && outcome.code == 0) << run.destination << " ended with " << outcome.code;
        const auto entries = readableEntries(run.kind.package(run.destination));
        if (run.kind.xpsName.empty()) {
            EXPECT_EQ(entries, referenceEntries) << run.destination;
        } else {
            EXPECT_TRUE(entries && holdsEnhancedContentWithoutTiff(*entries)) << run.destination;
            const auto updated = readableEntries(run.exportFolder / run.kind.xpsName);
            EXPECT_TRUE(updated && holdsEnhancedContentWithoutTiff(*updated)) << run.exportFolder;
        }
    }
    for (const auto& entry : fs::directory_iterator(tmp))
        EXPECT_EQ(entry.path().extension(), ".lock") << entry.path() << " was left in TMPDIR";
}

TEST_F(Concurrency, OnlyTheStagedFilesOfKilledRunsAreRemoved) {
    const BookKind blio = blioBook();
    const fs::path exportFolder = scratch / "export";
    const fs::path destination = scratch / "out";
    prepareExport(blio, exportFolder);
    const std::vector<fs::path> abandoned = {exportFolder / ".ebookpack-0123456789ab.tmp",
                                             destination / ".ebookpack-0123456789ab.tmp"};
    const fs::path beingWritten = destination / ".ebookpack-abcdefabcdef.tmp";
    const std::vector<fs::path> others = {destination / ".0123456789ab.tmp", destination / ".ebookpack-theirs.tmp"};
    for (const auto& files : {abandoned, others, std::vector<fs::path>{beingWritten}})
        for (const fs::path& file : files) writeText(file, "staged");
    const int writer = ::open(beingWritten.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);

    auto run = start(blio, exportFolder, destination);
    ASSERT_TRUE(run && run->wait().code == 0);
    ::close(writer);
    for (const fs::path& file : abandoned) EXPECT_FALSE(fs::exists(file)) << file;
    for (const fs::path& file : others) EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_TRUE(fs::exists(beingWritten));
}

}  // namespace
}  // namespace packager::testing
