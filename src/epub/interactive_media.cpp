// Points the reflow pages' video and audio elements at the media files that
// the asset list names for their boxes, copying each file into the book once
// so that the book is self-contained.
#include <algorithm>
#include <cctype>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/text/ascii_case.h"
#include "epub/interactive_media.h"
#include "epub/workspace_copy.h"

namespace packager {

namespace {

constexpr std::string_view kMediaFolder = "media";

bool isWebAddress(std::string_view path) {
    return startsWithIgnoringCase(path, "http://") || startsWithIgnoringCase(path, "https://");
}

// Only a box that some asset can serve may change a page.
bool hasUsableAsset(const std::vector<Asset>& assets) {
    return std::any_of(assets.begin(), assets.end(),
                       [](const Asset& asset) { return !asset.boxID.empty() && !asset.path.empty(); });
}

// A cheap test before parsing: a page in an 8-bit encoding without the words
// has no media element. Text with NUL bytes (UTF-16) is left to the parser.
bool mayHoldMedia(std::string_view bytes) {
    return bytes.find('\0') != std::string_view::npos || bytes.find("video") != std::string_view::npos ||
           bytes.find("audio") != std::string_view::npos;
}

}  // namespace

InteractiveMedia::InteractiveMedia(std::vector<Asset> assets, fs::path oebps)
    : assets(std::move(assets)), oebps(std::move(oebps)) {}

bool InteractiveMedia::updateInteractiveAssetsInFileAtPath(const fs::path& page) {
    // A page is rewritten only when one of its elements changes, so a page
    // without media, or without assets to point at, reaches the book byte for
    // byte as exported, and is not even parsed.
    if (!hasUsableAsset(assets)) return true;
    const std::optional<std::string> bytes = readFile(page);
    if (!bytes || !mayHoldMedia(*bytes)) return true;

    std::optional<HTMLParser> parser = HTMLParser::initWithContents(page, *bytes);
    if (!parser) return true;
    if (!updateHTML(*parser, parser->allVideoBoxIDs(), BoxType::video) ||
        !updateHTML(*parser, parser->allAudioBoxIDs(), BoxType::audio))
        return false;
    return !parser->modified() || parser->saveHTMLAtFileURL(page);
}

bool InteractiveMedia::updateHTML(HTMLParser& parser, const std::vector<std::string>& boxes, BoxType type) {
    for (const std::string& box : boxes) {
        if (box.empty()) continue;  // an asset without an ID names no box
        auto asset = std::find_if(assets.begin(), assets.end(),
                                  [&box](const Asset& candidate) { return candidate.boxID == box; });
        if (asset == assets.end() || asset->path.empty()) continue;
        std::string& source = asset->path.front();
        const std::optional<std::string> packaged = packageMediaFile(source);
        if (!packaged) return false;
        source = *packaged;
        if (type == BoxType::video) parser.updateVideoTagAttributes({{"source", source}}, box);
        else parser.updateSourcePath(source, box, type);
    }
    return true;
}

std::optional<std::string> InteractiveMedia::packageMediaFile(const std::string& path) {
    if (mediaHrefs.contains(path)) return path;
    if (auto copied = mediaCopies.find(path); copied != mediaCopies.end()) return copied->second;
    std::error_code error;
    if (isWebAddress(path) || !fs::is_regular_file(path, error)) return path;

    const fs::path folder = oebps / kMediaFolder;
    if (!EpubPackagerFileUtility::createDirectoryAtPath(folder)) return std::nullopt;
    const std::string name = EpubPackagerFileUtility::randomFileName() + fs::path(path).extension().string();
    // The asset list may name any file of the user's, so a link there is
    // followed here; placeFile itself refuses links, as in an export's folders
    // they could lead anywhere.
    if (!placeFile(fs::canonical(path, error), folder / name)) return std::nullopt;
    const std::string href = std::string(kMediaFolder) + "/" + name;
    mediaCopies.emplace(path, href);
    mediaHrefs.insert(href);
    placed_.insert(href);
    return href;
}

}  // namespace packager
