#include "scratch.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace packager::testing {

fs::path sourceDir() { return EBOOKPACK_SOURCE_DIR; }
fs::path corpusDir() { return fs::weakly_canonical(EBOOKPACK_CORPUS_DIR); }
fs::path bundleDir() { return EBOOKPACK_BUNDLE_DIR; }
fs::path cliPath() { return EBOOKPACK_CLI; }

void writeText(const fs::path& file, std::string_view text) {
    if (file.has_parent_path()) fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::string shellQuote(const fs::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

int runCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string text;
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    int status = pclose(pipe);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ScratchTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/') c = '_';
    scratch = fs::temp_directory_path() / ("ebookpack-test-" + std::to_string(getpid())) / name;
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    tmp = scratch / "tmp";
    fs::create_directories(tmp);
    if (const char* old = std::getenv("TMPDIR")) {
        hadTmpDir = true;
        savedTmpDir = old;
    }
    setenv("TMPDIR", tmp.c_str(), 1);
}

void ScratchTest::TearDown() {
    if (hadTmpDir) setenv("TMPDIR", savedTmpDir.c_str(), 1);
    else unsetenv("TMPDIR");
    std::error_code ignored;
    // Tests may leave read-only folders behind on purpose.
    runCommand("chmod -R u+rwX " + shellQuote(scratch));
    fs::remove_all(scratch, ignored);
    fs::remove(scratch.parent_path(), ignored);  // only once the last test of the process is done
}

fs::path copyExportFolder(const fs::path& from, const fs::path& to) {
    fs::copy(from, to, fs::copy_options::recursive);
    runCommand("chmod -R u+w " + shellQuote(to));
    const fs::path templateFile = to / "AssetList.xml.in";
    if (fs::exists(templateFile)) {
        std::string text = readText(templateFile);
        for (std::size_t at; (at = text.find("@EXPORT@")) != std::string::npos;) text.replace(at, 8, to.string());
        writeText(to / "AssetList.xml", text);
        fs::remove(templateFile);
    }
    return to;
}

}  // namespace packager::testing
