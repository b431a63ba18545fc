#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include "../epub/epub_fixture.h"
#include "scratch.h"

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

    fs::path book() { return copyExport(sourceDir() / "examples/epub-book", scratch / "my export"); }
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
    for (const fs::path& unreadable : {scratch / "absent.txt", scratch}) {
        EXPECT_EQ(runCommand(shellQuote(cliPath()) + " batch " + shellQuote(unreadable), &output), 64);
        EXPECT_NE(output.find("cannot read the job file"), std::string::npos) << output;
    }
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
