#include "xps/parallel_extraction.h"

#include <memory>

#include "common/archive/archive.h"
#include "xps/parallel.h"
#include "xps/part_names.h"

namespace packager::xps {

std::vector<std::string> extractInParallel(const fs::path& archiveFile, const std::vector<std::string>& names,
                                           const fs::path& folder) {
    std::vector<char> extracted(names.size(), 0);
    forEachInParallel(names.size(), [&]() -> IndexWork {
        // Shared only so that the worker can be a std::function, which must be copyable.
        auto archive = std::make_shared<std::optional<archive::Archive>>(archive::Archive::open(archiveFile));
        return [&, archive](std::size_t index) {
            if (*archive) extracted[index] = !(*archive)->extract({literalPattern(names[index])}, folder).empty();
        };
    });
    std::vector<std::string> result;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (extracted[i]) result.push_back(names[i]);
    return result;
}

}  // namespace packager::xps
