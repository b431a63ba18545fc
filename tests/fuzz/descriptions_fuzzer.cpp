// The enhanced-content descriptions on an arbitrary existing file and
// arbitrary box values. The input is split at NUL bytes: the first piece is
// the file already in the workspace (none when empty), the next ones the
// page, x, y, width, height, asset path and preview image. After each append
// the file is either left byte for byte as it was or parses with the new
// description last, numbered after those before it; strictly, unless the file
// before was not well-formed either.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "blio/descriptions.h"
#include "common/file/file_io.h"
#include "common/xml/xml.h"
#include "fuzz_scratch.h"

namespace {

namespace fs = std::filesystem;
using packager::Asset;

[[noreturn]] void fail(const fs::path& file, const char* what) {
    std::fprintf(stderr, "descriptions fuzzer: %s: %s\n", file.filename().c_str(), what);
    std::abort();
}

// The folder the description files are written to, kept for the life of the process.
const fs::path& workspace() {
    static const fs::path folder = [] {
        fs::path made = packager::fuzzing::scratchFolder() / "BlioTemp";
        fs::create_directories(made);
        return made;
    }();
    return folder;
}

std::vector<std::string> pieces(std::string_view bytes) {
    std::vector<std::string> split;
    for (std::size_t start = 0;;) {
        const std::size_t end = bytes.find('\0', start);
        split.emplace_back(bytes.substr(start, end - start));
        if (end == std::string_view::npos) return split;
        start = end + 1;
    }
}

void check(const fs::path& file, const std::string& before, const char* list, const char* item, const char* number) {
    const std::string after = packager::readFile(file).value_or("");
    if (after == before) return;
    using packager::xml::Parse;
    const Parse mode = before.empty() || packager::xml::Document::parseMemory(before) ? Parse::Strict : Parse::Recover;
    std::string error;
    std::optional<packager::xml::Document> saved = packager::xml::Document::parseFile(file, mode, &error);
    if (!saved) fail(file, ("the saved file does not parse: " + error).c_str());
    const std::vector<packager::xml::Element> items = saved->root().firstChild(list).children(item);
    if (items.empty()) fail(file, "the saved file holds no description");
    if (items.back().attribute(number) != std::to_string(items.size() - 1)) fail(file, "the new description is misnumbered");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    packager::Descriptions descriptions(workspace());
    std::vector<std::string> fields = pieces({reinterpret_cast<const char*>(data), size});
    fields.resize(8);
    Asset asset;
    asset.pageIndex = packager::leadingInteger(fields[1]);
    asset.x = packager::leadingNumber(fields[2]);
    asset.y = packager::leadingNumber(fields[3]);
    asset.width = packager::leadingNumber(fields[4]);
    asset.height = packager::leadingNumber(fields[5]);

    const fs::path overlays = workspace() / "OverlayContent.xml";
    const fs::path videos = workspace() / "VideoContent.xml";
    for (const fs::path& file : {overlays, videos}) {
        std::error_code ignored;
        fs::remove(file, ignored);
        if (!fields[0].empty() && !packager::writeFileAtomically(file, fields[0])) fail(file, "cannot be written");
    }

    descriptions.mapAssetToBlio(asset, fields[6]);
    descriptions.mapVideoToBlio(asset, fields[6], fields[7]);
    if (!descriptions.saveDescriptions()) fail(overlays, "the descriptions cannot be written");
    check(overlays, fields[0], "EnhancedOverlayinfoList", "EnhancedOverlayinfo", "EnhancedOverlayinfoID");
    check(videos, fields[0], "VideoinfosList", "Videoinfo", "VideoinfoID");
    return 0;
}
