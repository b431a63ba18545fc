#include "common/platform/platform.h"

#include <dlfcn.h>
#include <system_error>

namespace packager::platform {

namespace {
// Any address inside this library identifies the object file that holds it.
void anchor() {}
}  // namespace

std::optional<fs::path> bundleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&anchor), &info) == 0 || info.dli_fname == nullptr) return std::nullopt;
    std::error_code error;
    fs::path object = info.dli_fname;
    // Code linked into the program itself reports the program's path as it was started.
    if (object.is_relative()) object = fs::read_symlink("/proc/self/exe", error);
    fs::path folder = fs::weakly_canonical(object, error).parent_path();
    if (error || folder.empty()) return std::nullopt;
    return folder;
}

}  // namespace packager::platform
