// One XPS update as the Blio packager makes it, for bench/xps_bench.sh to time
// against the command-line tools:
//
//   xps_bench XPS [ENTRY=FILE ...]
//
// hands each FILE in under its ENTRY name, registers its extension and runs
// the update with the Blio packager's JPEG level. Exit status 0 on success.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xps/xps_utility.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: xps_bench XPS [ENTRY=FILE ...]\n", stderr);
        return 64;
    }
    constexpr float blioLevel = 0.7f;
    std::string staging = (std::filesystem::temp_directory_path() / "xps_bench-XXXXXX").string();
    if (mkdtemp(staging.data()) == nullptr) return 1;
    packager::XpsUtility utility = packager::XpsUtility::initWithXpsFile(argv[1], blioLevel, {staging, {}});
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos) return 64;
        const std::string entry = argument.substr(0, equals);
        utility.addFile(argument.substr(equals + 1), entry);
        utility.registerFileType(entry.substr(entry.rfind('.') + 1));
    }
    const bool updated = utility.compressXps();
    std::filesystem::remove_all(staging);
    return updated ? 0 : 1;
}
