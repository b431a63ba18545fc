#include "private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

std::optional<PrivateFolder> PrivateFolder::create(const std::filesystem::path& parent, const std::string& prefix,
                                                   std::string& problem) {
    std::string name = (parent / (prefix + "XXXXXX")).string();
    if (::mkdtemp(name.data()) == nullptr) {  // mkdtemp makes it 0700
        problem = "cannot create a folder in " + parent.string() + ": " + std::generic_category().message(errno);
        return std::nullopt;
    }
    return PrivateFolder(name);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept : folder(std::move(other.folder)) {
    other.folder.clear();
}

PrivateFolder::~PrivateFolder() {
    if (folder.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
