#include <map>
#include <system_error>
#include <unistd.h>

#include "blio/blio_steps.h"
#include "blio/descriptions.h"
#include "blio/viewer_pages.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"

namespace packager {

namespace {

using Files = EpubPackagerFileUtility;

// The extension without its dot, as written ("" when there is none).
std::string extensionOf(const fs::path& file) {
    const std::string extension = file.extension().string();
    return extension.empty() ? extension : extension.substr(1);
}

// What one collectAssets call keeps across assets.
class Collector {
public:
    explicit Collector(const BlioPlaces& places)
        : descriptions(places.root), content(places.enhancedContent()),
          slideshowTemplate(content / kSlideshowTemplate, kImageNamesPlaceholder),
          htmlTemplate(content / kHtmlTemplate, kUrlPlaceholder) {}

    void collect(const Asset& asset);
    void removeUnused() const;
    // False once the workspace failed to take a file the enhanced content
    // needs, or its descriptions could not be written.
    bool finish() { return descriptions.saveDescriptions() && everythingWritten; }

private:
    static constexpr std::string_view kSlideshowTemplate = "OverlayAssets/Slideshow/SlideViewer.html";
    static constexpr std::string_view kHtmlTemplate = "OverlayAssets/Html/HtmlViewer.html";

    const std::string& keyFor(const std::string& path);
    // Files::copy, linkOrCopyFile to a new file name, and a viewer page, each
    // noting a failure that is the workspace's: a source that cannot be copied
    // is only left out.
    bool copy(const fs::path& from, const fs::path& to);
    bool place(const fs::path& from, const fs::path& file);
    bool noteFailure(const fs::path& from);
    void viewerPage(ViewerTemplate& viewer, const fs::path& page, std::string_view replacement);
    void video(const Asset& asset, const std::string& key);
    void slideshowFolder(const Asset& asset, const fs::path& folder, const std::string& key);
    void slideshowFile(const Asset& asset, const fs::path& file, const std::string& key);
    void webPage(const Asset& asset, const std::string& address, const std::string& key);
    void embeddedPage(const Asset& asset, const fs::path& file, const std::string& key);

    Descriptions descriptions;
    const fs::path content;  // the enhanced-content folder
    ViewerTemplate slideshowTemplate;
    ViewerTemplate htmlTemplate;

    std::map<std::string, std::string> keys;  // first path -> asset key
    bool videoMade = false;
    bool slideshowMade = false;
    bool webPageMade = false;
    bool embeddedPageMade = false;
    bool everythingWritten = true;
};

// Assets that share a file share its copy and its viewer page.
const std::string& Collector::keyFor(const std::string& path) {
    auto [entry, added] = keys.try_emplace(path);
    if (added) entry->second = Files::randomFileName();
    return entry->second;
}

bool Collector::copy(const fs::path& from, const fs::path& to) { return Files::copy(from, to) || noteFailure(from); }

// Asset files are only read once in the workspace, so a second link to the
// export's file spares copying its bytes (hundreds of megabytes of video).
bool Collector::place(const fs::path& from, const fs::path& file) {
    return (Files::createDirectoryAtPath(file.parent_path()) && linkOrCopyFile(from, file)) || noteFailure(from);
}

bool Collector::noteFailure(const fs::path& from) {
    std::error_code error;
    const bool copyable =
        (fs::is_regular_file(from, error) || isPlainFolder(from)) && ::access(from.c_str(), R_OK) == 0;
    if (copyable) everythingWritten = false;
    return false;
}

void Collector::viewerPage(ViewerTemplate& viewer, const fs::path& page, std::string_view replacement) {
    if (!viewer.makePage(page, replacement)) everythingWritten = false;
}

void Collector::collect(const Asset& asset) {
    if (asset.path.empty()) return;
    const std::string& first = asset.path.front();
    const std::string key = keyFor(first);
    switch (asset.kind) {
    case AssetKind::video:
        video(asset, key);
        break;
    case AssetKind::slideshow:
        if (isFolder(first)) slideshowFolder(asset, first, key);
        else if (exists(first)) slideshowFile(asset, first, key);
        break;
    case AssetKind::webLink:
        webPage(asset, first, key);
        break;
    case AssetKind::embeddedPage:
        embeddedPage(asset, first, key);
        break;
    case AssetKind::other:
        break;
    }
}

void Collector::video(const Asset& asset, const std::string& key) {
    if (isFolder(asset.path.front())) return;  // a folder is no video
    const std::string folder = "VideoAssets/" + key;
    const std::string videoPath = folder + "/" + key + "." + extensionOf(asset.path.front());
    if (!exists(content / videoPath)) place(asset.path.front(), content / videoPath);
    // A description would send the reader to a file the package lacks.
    if (!exists(content / videoPath)) return;

    std::string coverPath;
    if (!asset.previewImage.empty()) {
        const std::string name = fs::path(asset.previewImage).filename().string();
        // The folder exists now, so the image keeps its own name inside it.
        if (copy(asset.previewImage, content / folder)) coverPath = folder + "/" + name;
    }
    descriptions.mapVideoToBlio(asset, videoPath, coverPath);
    videoMade = true;
}

void Collector::slideshowFolder(const Asset& asset, const fs::path& folder, const std::string& key) {
    // The asset list names this folder, not whatever a link in its place leads to.
    std::vector<fs::path> images;
    if (isPlainFolder(folder))
        for (const fs::path& entry : listFolder(folder))
            if (isPlainFile(entry) && EpubPackagerImageUtility::isImageFile(entry)) images.push_back(entry);
    if (images.empty()) return;

    const std::string page = "OverlayAssets/Slideshow/" + key + ".html";
    if (!exists(content / page)) {
        const fs::path imageFolder = content / "OverlayAssets/Slideshow" / key;
        // Fresh names keep odd characters of the export's file names out of
        // the page and the archive.
        for (const fs::path& image : images)
            place(image, imageFolder / (Files::randomFileName() + "." + extensionOf(image)));
        std::string fragments;
        for (const fs::path& copied : listFolder(imageFolder))
            fragments += slideshowImageFragment(key, copied.filename().string());
        viewerPage(slideshowTemplate, content / page, fragments);
    }
    descriptions.mapAssetToBlio(asset, page);
    slideshowMade = true;
}

// Only the first path of an asset is used, so the page is complete with it:
// the placeholder is always filled, with nothing when the file is no image.
void Collector::slideshowFile(const Asset& asset, const fs::path& file, const std::string& key) {
    const std::string page = "OverlayAssets/Slideshow/" + key + ".html";
    descriptions.mapAssetToBlio(asset, page);
    slideshowMade = true;
    if (exists(content / page)) return;  // made by an earlier asset of the same file

    std::string fragments;
    if (EpubPackagerImageUtility::isImageFile(file)) {
        const std::string name = key + "." + extensionOf(file);
        if (place(file, content / "OverlayAssets/Slideshow" / key / name))
            fragments = slideshowImageFragment(key, name);
    }
    viewerPage(slideshowTemplate, content / page, fragments);
}

void Collector::webPage(const Asset& asset, const std::string& address, const std::string& key) {
    const std::string page = "OverlayAssets/Html/" + key + ".html";
    if (!exists(content / page))
        viewerPage(htmlTemplate, content / page, addressAttributeValue(address));
    descriptions.mapAssetToBlio(asset, page);
    webPageMade = true;
}

void Collector::embeddedPage(const Asset& asset, const fs::path& file, const std::string& key) {
    const std::string extension = extensionOf(file);
    if (extension != "htm" && extension != "html") return;

    const std::string page = "OverlayAssets/Html/" + key + ".html";
    if (!exists(content / page)) {
        // The page may need its neighbours (style sheets, images, scripts):
        // the host then asks for the whole folder, which is copied under the key.
        const fs::path pageFolder = content / "OverlayAssets/Html" / key;
        const bool copied = asset.exportParentFolder ? copy(file.parent_path(), pageFolder) : copy(file, pageFolder);
        if (!copied) return;
        viewerPage(htmlTemplate, content / page, relativeAddressAttributeValue(key, file.filename().string()));
    }
    descriptions.mapAssetToBlio(asset, page);
    embeddedPageMade = true;
}

// The templates go once a page was made from them, and a kind no asset used
// loses its folder; the enhanced content goes altogether when nothing was
// described.
void Collector::removeUnused() const {
    if (!videoMade && !slideshowMade && !webPageMade && !embeddedPageMade) {
        Files::remove(content);
        return;
    }
    Files::remove(slideshowMade ? slideshowTemplate.path() : slideshowTemplate.path().parent_path());
    Files::remove(webPageMade || embeddedPageMade ? htmlTemplate.path() : htmlTemplate.path().parent_path());
}

}  // namespace

bool collectAssets(const std::vector<Asset>& assets, const BlioPlaces& places) {
    if (assets.empty()) return true;
    Collector collector(places);
    for (const Asset& asset : assets) collector.collect(asset);
    collector.removeUnused();
    return collector.finish();
}

}  // namespace packager
