#include "fuzz_scratch.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/file/file_io.h"

namespace packager::fuzzing {

namespace {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ebookpack-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("ebookpack fuzz: cannot make a scratch folder");
            std::abort();
        }
        folder = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path folder;
};

}  // namespace

const std::filesystem::path& scratchFolder() {
    static const ScratchFolder scratch;
    return scratch.folder;
}

std::filesystem::path writeInput(const char* name, const std::uint8_t* data, std::size_t size) {
    std::filesystem::path file = scratchFolder() / name;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!writeFileAtomically(file, bytes)) {
        std::fprintf(stderr, "ebookpack fuzz: cannot write %s\n", file.c_str());
        std::abort();
    }
    return file;
}

}  // namespace packager::fuzzing
