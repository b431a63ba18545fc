// The XHTML box updater on an arbitrary page: every video and audio box gets
// an asset, the page is saved, and what was saved must parse again.
#include <cstdlib>
#include <string_view>
#include <vector>

#include "common/xml/xml.h"
#include "epub/html_parser.h"
#include "epub/interactive_media.h"
#include "fuzz_scratch.h"

namespace {

using packager::Asset;
using packager::BoxType;

// One asset per box, pointing at a file that does not exist, so the updater
// writes the path as it is instead of copying media into a book.
void addAssets(std::vector<Asset>& assets, const std::vector<std::string>& boxes) {
    for (const std::string& box : boxes) {
        Asset asset;
        asset.boxID = box;
        asset.path.push_back("media/" + box + ".mp4");
        assets.push_back(std::move(asset));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto page = packager::fuzzing::scratchFolder() / "Flow_0.xhtml";
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<packager::HTMLParser> parser = packager::HTMLParser::initWithContents(page, bytes);
    if (!parser) return 0;

    const std::vector<std::string> videos = parser->allVideoBoxIDs();
    const std::vector<std::string> audios = parser->allAudioBoxIDs();
    std::vector<Asset> assets;
    addAssets(assets, videos);
    addAssets(assets, audios);
    packager::InteractiveMedia media(std::move(assets), page.parent_path());
    media.updateHTML(*parser, videos, BoxType::video);
    media.updateHTML(*parser, audios, BoxType::audio);

    if (!parser->saveHTMLAtFileURL(page)) std::abort();
    std::string error;
    if (!packager::xml::Document::parseFile(page, packager::xml::Parse::Strict, &error)) {
        std::fprintf(stderr, "saved page does not parse: %s\n", error.c_str());
        std::abort();
    }
    return 0;
}
