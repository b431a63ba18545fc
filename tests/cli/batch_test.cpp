#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "package_contents.h"

namespace packager {
namespace {

using namespace testing;

class Batch : public ScratchTest {
protected:
    // Runs `ebookpack batch JOBS ARGUMENTS` on a job file holding `lines`.
    int batch(const std::string& lines, const std::string& arguments, std::string* output) {
        writeText(scratch / "jobs.txt", lines);
        return runCommand("cd " + shellQuote(scratch) + " && " + shellQuote(cliPath()) + " batch jobs.txt " + arguments,
                          output);
    }

    // The batch's own folders are gone and no job left anything in TMPDIR.
    void expectTempFolderEmpty() { EXPECT_TRUE(fs::is_empty(tmp)) << "left behind in " << tmp; }

    fs::path book() { return copyExportFolder(sourceDir() / "examples/epub-book", scratch / "my export"); }
    fs::path minimal() { return corpusDir() / "export/minimal"; }

    // Job i's destination. Concurrent runs into one folder can collide on the
    // library's writability probe, so every job writes into a folder of its own.
    fs::path destination(int job, const std::string& name = "book") {
        return scratch / "out" / std::to_string(job) / name;
    }
};

TEST_F(Batch, RunsEveryJobAndReportsEachFailureWithItsLine) {
    std::string jobs = "# two good books and a missing export\n\n"
                       "epub \"" + book().string() + "\" \"" + destination(0).string() + " \\\"hi\\\"\" --epub-version 2\n"
                       "   # indented comment\n"
                       "epub " + minimal().string() + " " + destination(1).string() + " --fixed-layout\n"
                       "epub " + (scratch / "no-such-export").string() + "\t" + destination(2).string() + "\n";
    std::string output;
    EXPECT_EQ(batch(jobs, "--jobs 2", &output), 1) << output;

    EXPECT_TRUE(fs::is_regular_file(destination(0, "book \"hi\".epub"))) << output;
    EXPECT_TRUE(fs::is_regular_file(destination(1, "book.epub"))) << output;
    EXPECT_FALSE(fs::exists(destination(2, "book.epub")));
    EXPECT_NE(output.find("] ok " + destination(1, "book.epub").string() + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("/3] failed (5) jobs.txt:6: Source is not a valid folder"), std::string::npos) << output;
    for (const char* progress : {"[1/3] ", "[2/3] ", "[3/3] "}) EXPECT_NE(output.find(progress), std::string::npos);
    EXPECT_NE(output.find("done 2, failed 1\n  failed (5) jobs.txt:6: "), std::string::npos) << output;
    expectTempFolderEmpty();
}

TEST_F(Batch, SucceedsWhenEveryJobDoes) {
    std::string jobs;
    for (int i = 0; i < 4; ++i) jobs += "epub " + minimal().string() + " " + destination(i).string() + "\n";
    std::string output;
    EXPECT_EQ(batch(jobs, "--jobs=3", &output), 0) << output;
    EXPECT_NE(output.find("done 4, failed 0\n"), std::string::npos) << output;
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(fs::is_regular_file(destination(i, "book.epub")));
    expectTempFolderEmpty();

    EXPECT_EQ(batch("# nothing to do\n", "", &output), 0) << output;
    EXPECT_NE(output.find("done 0, failed 0"), std::string::npos) << output;

    // As some editors save it: a byte-order mark, CR LF line ends.
    EXPECT_EQ(batch("\xEF\xBB\xBF" "epub " + minimal().string() + " " + destination(9).string() + "\r\n", "", &output), 0)
        << output;
    EXPECT_TRUE(fs::is_regular_file(destination(9, "book.epub")));
}

// A typo anywhere refuses the whole file before any job runs, naming the line.
TEST_F(Batch, RefusesAJobFileItCannotUnderstand) {
    const std::string good = "epub " + minimal().string() + " " + (scratch / "good").string() + "\n";
    struct Case {
        std::string lines;
        std::string message;
    } cases[] = {
        {good + "zip a b\n", "jobs.txt:2: unknown command 'zip'"},
        {good + "\nepub \"a b\n", "jobs.txt:3: unterminated double quote"},
        {good + "epub a b --epub-version 4\n", "jobs.txt:2: invalid value for --epub-version"},
        {good + "epub a\n", "jobs.txt:2: epub needs an export folder and a destination"},
        {good + "blio a b c\n", "jobs.txt:2: blio needs an export folder and a destination"},
        {good + "blio a b\xFF\n", "jobs.txt:2: the destination is not valid UTF-8"},
        {good + std::string("epub a\0b c\n", 11), "jobs.txt:2: NUL byte"},
        {"\"\"\n" + good, "jobs.txt:1: unknown command ''"},
        {good + "epub a " + std::string(70000, 'b') + "\n", "jobs.txt:2: line longer than 65536 bytes"},
    };
    for (const auto& [lines, message] : cases) {
        std::string output;
        EXPECT_EQ(batch(lines, "", &output), 64) << lines;
        EXPECT_NE(output.find(message), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(scratch / "good.epub")) << lines;
    }
    expectTempFolderEmpty();

    std::string output;
    for (const char* arguments : {"--jobs 0", "--jobs", "--jobs two", "--jobs 1 extra", "--verbose"})
        EXPECT_EQ(batch(good, arguments, &output), 64) << arguments;
    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " batch", &output), 64);
    // A job file that never ends is refused, not read forever.
    EXPECT_EQ(runCommand(shellQuote(cliPath()) + " batch /dev/zero", &output), 64);
    EXPECT_NE(output.find("/dev/zero:1: line longer than"), std::string::npos) << output;
    for (const fs::path& unreadable : {scratch / "absent.txt", scratch}) {
        EXPECT_EQ(runCommand(shellQuote(cliPath()) + " batch " + shellQuote(unreadable), &output), 64);
        EXPECT_NE(output.find("cannot read the job file"), std::string::npos) << output;
    }
}

// Folders of batches killed outright go with the next batch; a folder whose
// batch, or one of its jobs, still runs stays.
TEST_F(Batch, RemovesTheFoldersOfBatchesThatNoLongerRun) {
    const fs::path killed = tmp / "ebookpack-batch-killed", killedEarly = tmp / "ebookpack-batch-early",
                   running = tmp / "ebookpack-batch-running", foreign = tmp / "unrelated";
    for (const fs::path& folder : {killed, killedEarly, running, foreign}) fs::create_directories(folder / "worker-1");
    writeText(killed / ".in-use", "");
    writeText(running / ".in-use", "");
    // Killed between making its folder and locking it, long ago.
    fs::last_write_time(killedEarly, fs::file_time_type::clock::now() - std::chrono::hours(1));
    const int held = open((running / ".in-use").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_SH), 0);

    std::string output;
    EXPECT_EQ(batch("epub " + minimal().string() + " " + destination(0).string() + "\n", "", &output), 0) << output;
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_FALSE(fs::exists(killedEarly));
    EXPECT_TRUE(fs::exists(running / "worker-1"));
    EXPECT_TRUE(fs::exists(foreign / "worker-1"));
    close(held);
    fs::remove_all(running);
    fs::remove_all(foreign);
    expectTempFolderEmpty();
}

// A back catalogue spread over machines: GNU parallel hands each host one line
// of the same job file (`--sshlogin :` is this machine), and the packages are
// those `ebookpack batch` makes.
TEST_F(Batch, TheSameJobFileRunsOneLinePerJobUnderGnuParallel) {
    if (runCommand("command -v parallel >/dev/null") != 0) GTEST_SKIP() << "GNU parallel is not installed";
    const fs::path source = minimal();
    auto jobs = [&](const std::string& folder) {
        std::string lines = "# a shelf\n";
        for (int i = 0; i < 3; ++i)
            lines += "epub \"" + source.string() + "\" \"" + (scratch / folder / std::to_string(i) / "my book").string() +
                     "\" --epub-version " + std::to_string(2 + i % 2) + "\n";
        return lines;
    };
    std::string output;
    ASSERT_EQ(batch(jobs("batch"), "--jobs 2", &output), 0) << output;
    writeText(scratch / "shelf.txt", jobs("parallel"));
    ASSERT_EQ(runCommand("parallel --will-cite --pipe -N1 --sshlogin : " + shellQuote(cliPath()) + " batch - < " +
                             shellQuote(scratch / "shelf.txt"), &output), 0) << output;

    for (int i = 0; i < 3; ++i) {
        const fs::path fromBatch = scratch / "batch" / std::to_string(i) / "my book.epub";
        const fs::path fromParallel = scratch / "parallel" / std::to_string(i) / "my book.epub";
        const std::vector<std::string> names = entryNames(fromBatch);
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(entryNames(fromParallel), names);
        // content.opf differs only in its timestamp and random identifiers.
        for (const std::string& name : names) {
            if (name == "OEBPS/content.opf") continue;
            EXPECT_EQ(entryText(fromParallel, name), entryText(fromBatch, name)) << name;
        }
    }
    expectTempFolderEmpty();
}

// Started by hand rather than through a shell, so the test knows the batch's
// own process id and can signal it.
pid_t startBatch(const fs::path& jobs, int& output) {
    int ends[2];
    if (pipe(ends) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        execl(cliPath().c_str(), "ebookpack", "batch", jobs.c_str(), "--jobs", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    output = ends[0];
    return child;
}

TEST_F(Batch, InterruptedBatchStopsItsJobsAndRemovesItsFolders) {
    std::string jobs;
    for (int i = 0; i < 200; ++i) jobs += "epub " + minimal().string() + " " + destination(i).string() + "\n";
    writeText(scratch / "jobs.txt", jobs);

    int output = -1;
    pid_t batch = startBatch(scratch / "jobs.txt", output);
    ASSERT_GT(batch, 0);
    FILE* progress = fdopen(output, "r");
    ASSERT_NE(progress, nullptr);
    char line[4096];
    ASSERT_NE(fgets(line, sizeof line, progress), nullptr);  // jobs are running
    kill(batch, SIGTERM);
    std::string rest;
    while (fgets(line, sizeof line, progress) != nullptr) rest += line;
    fclose(progress);
    int status = 0;
    ASSERT_EQ(waitpid(batch, &status, 0), batch);

    ASSERT_TRUE(WIFSIGNALED(status)) << rest;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_NE(rest.find("not run"), std::string::npos) << rest;
    expectTempFolderEmpty();
    // Whatever was written is a whole package; nothing half-written is left beside it.
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "out")) {
        if (entry.is_directory()) continue;
        EXPECT_EQ(entry.path().filename(), "book.epub") << entry.path();
    }
}

}  // namespace
}  // namespace packager
