#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/assets/asset.h"
#include "epub/html_parser.h"
#include "epub/workspace_copy.h"

namespace packager {

// Points the media elements of the book's reflow pages at the files the asset
// list names for their boxes, copying each file once into the book's "media"
// folder so that the book is self-contained.
class InteractiveMedia {
public:
    InteractiveMedia(std::vector<Asset> assets, std::filesystem::path oebps);

    // Rewrites a page copy when one of its elements changed. False when a
    // media file or the page could not be written.
    bool updateInteractiveAssetsInFileAtPath(const std::filesystem::path& page);
    // False when a box's media file could not be copied into the book; that
    // box's element is left as it was.
    bool updateHTML(HTMLParser& parser, const std::vector<std::string>& boxes, BoxType type);

    // The media files copied so far, by their paths inside the OEBPS folder.
    const BookFiles& placed() const { return placed_; }

private:
    // The path a page should name for an asset's media file: a file is copied
    // once and named relative to the pages; an address or a folder stays as
    // it is. None when the copy failed.
    std::optional<std::string> packageMediaFile(const std::string& path);

    // An asset's first path becomes the path the pages name once its file is copied.
    std::vector<Asset> assets;
    std::filesystem::path oebps;
    std::map<std::string, std::string> mediaCopies;  // asset file -> path inside the book
    std::set<std::string> mediaHrefs;                // the paths handed out above
    BookFiles placed_;
};

}  // namespace packager
