#include "common/file/package_path.h"

namespace packager {

std::optional<std::string> packagePath(std::string destination, std::string_view extension) {
    while (!destination.empty() && destination.back() == '/') destination.pop_back();
    const std::string_view name = std::string_view(destination).substr(destination.find_last_of('/') + 1);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || name.substr(dot + 1) != extension) {
        destination += '.';
        destination += extension;
    }
    return destination;
}

}  // namespace packager
