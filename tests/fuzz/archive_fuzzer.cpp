// The archive layer on arbitrary bytes: open, list, read, extract everything,
// then remove an entry, add one and commit. Extraction must stay inside its
// folder, and a committed archive must open again with the added entry.
#include <cstdlib>
#include <cstdio>
#include <system_error>

#include "common/archive/archive.h"
#include "common/file/file_io.h"
#include "fuzz_scratch.h"

namespace {

namespace fs = std::filesystem;
using packager::archive::Archive;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "archive fuzzer: %s\n", what);
    std::abort();
}

// The only names the scratch folder may hold after a round.
bool holdsOnly(const fs::path& folder, const std::vector<std::string>& allowed) {
    for (const fs::path& entry : packager::listFolder(folder)) {
        bool known = false;
        for (const std::string& name : allowed) known = known || entry.filename() == name;
        if (!known) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& scratch = packager::fuzzing::scratchFolder();
    const fs::path input = packager::fuzzing::writeInput("input.zip", data, size);
    const fs::path added = packager::fuzzing::writeInput("added.txt", data, size < 64 ? size : 64);
    const fs::path out = scratch / "out";
    std::error_code ignored;
    fs::remove_all(out, ignored);

    std::optional<Archive> archive = Archive::open(input);
    if (!archive) return 0;
    const std::vector<std::string> names = archive->entryNames();
    for (const std::string& name : names) archive->read(name);
    archive->extract({{}, {""}}, out);
    if (!holdsOnly(scratch, {"input.zip", "added.txt", "out"})) fail("extraction wrote outside its folder");

    if (!names.empty()) archive->remove({{names.front()}});
    if (!archive->addFile("added/entry.txt", added)) fail("cannot add a readable file");
    if (archive->commit()) {
        std::optional<Archive> reopened = Archive::open(input);
        if (!reopened) fail("a committed archive does not open again");
        if (!reopened->read("added/entry.txt")) fail("the added entry cannot be read back");
    }
    fs::remove_all(out, ignored);
    return 0;
}
