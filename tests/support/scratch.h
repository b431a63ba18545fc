#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace packager::testing {

namespace fs = std::filesystem;

fs::path sourceDir();  // the repository
fs::path corpusDir();  // the shared corpus beside the repository
fs::path bundleDir();  // the built plug-in's bundle folder
fs::path cliPath();    // the built ebookpack

void writeText(const fs::path& file, std::string_view text);  // creates parent folders
std::string readText(const fs::path& file);

// A writable copy of an export folder whose asset list template, when it has
// one, is filled in with the copy's own absolute path.
fs::path copyExportFolder(const fs::path& from, const fs::path& to);

// Runs a shell command, returning its exit status; its output goes to `output`
// when given.
int runCommand(const std::string& command, std::string* output = nullptr);
std::string shellQuote(const fs::path& path);

// Gives every test its own empty folder and its own TMPDIR below it, and
// removes both afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fs::path scratch;  // empty folder owned by the test
    fs::path tmp;      // the test's TMPDIR

private:
    std::string savedTmpDir;
    bool hadTmpDir = false;
};

}  // namespace packager::testing
