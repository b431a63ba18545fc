#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/assets/asset.h"
#include "common/file/workspace.h"
#include "ebookpackager.h"

namespace packager {

namespace fs = std::filesystem;

class HTMLParser;

// The kind of a media box; the values are the type codes the box updater takes.
enum class BoxType : int {
    audio = 0,
    video = 1,
};

// One ePub run: the paths and the asset list that every build step reads, and
// the build steps themselves. Each step answers false when it could not write
// a file the book needs (a full disk), and the book is then not made; an
// optional input the export lacks is left out, which is no failure.
// Destroying the packager removes its workspace.
class EpubPackager {
public:
    // A packager without source or destination (nothing is read).
    EpubPackager();

    // Paths are standardised; the asset list is read from the source's
    // "AssetList.xml" when it is a file.
    static EpubPackager initWithSource(const std::string& source, const std::string& destination);

    EpubPackager(EpubPackager&&) = default;
    EpubPackager& operator=(EpubPackager&&) = delete;
    ~EpubPackager() = default;

    // Replaces the asset list with the file's assets when the path is a file.
    void readXml(const fs::path& assetListFile);

    // Takes the resources of the bundle folder (the loaded library's when not
    // given): 8 without one, 7 without templates, else setupEpubTempDir().
    std::uint32_t initializeComponents();
    std::uint32_t initializeComponents(const std::optional<fs::path>& bundle);

    // Waits for other runs of the user, then makes a fresh workspace root: 0, or 10.
    std::uint32_t setupEpubTempDir();

    void setDestFileName(const std::string& name) { destFileName_ = name; }

    // Build steps, in the order a run calls them. All but the last write
    // into the workspace; the last writes the book to the destination.
    bool createEPubStructure();
    bool copyResources(const EpubOptions& options);
    bool createBookCover(const EpubOptions& options);
    bool createTableOfContents(std::uint32_t epubVersion);
    bool createContentOPF(const EpubOptions& options);
    bool generateEpubFile();

    // Points the media elements of a page copy at their assets' files and
    // rewrites the page when something changed. False when a media file or
    // the page could not be written.
    bool updateInteractiveAssetsInFileAtPath(const fs::path& page);
    // False when a box's media file could not be copied into the book; that
    // box's element is left as it was.
    bool updateHTML(HTMLParser& parser, const std::vector<std::string>& boxes, BoxType type);

    const std::vector<Asset>& pgwAssetList() const { return pgwAssetList_; }
    void setPgwAssetList(std::vector<Asset> assets) { pgwAssetList_ = std::move(assets); }

    const fs::path& appDir() const { return appDir_; }
    const fs::path& sourceDir() const { return sourceDir_; }
    const fs::path& destDir() const { return destDir_; }
    const std::string& destFileName() const { return destFileName_; }
    const fs::path& baseTempDir() const { return baseTempDir_; }
    const fs::path& epubTempDir() const { return epubTempDir_; }
    const fs::path& templatesDir() const { return templatesDir_; }

    // The run folder's tree that becomes the book.
    fs::path outputDir() const { return epubTempDir_ / "output"; }
    fs::path oebpsDir() const { return epubTempDir_ / "output" / "OEBPS"; }

private:
    // The page of the options' size that opens a book whose spreads start on
    // the right: empty, or showing the cover image with `addImage`.
    bool CreateHTMLFile(const EpubOptions& options, bool addImage);
    // The path a page should name for an asset's media file: a file is copied
    // once into the book's media folder and named relative to the pages; an
    // address or a folder stays as it is. None when the copy failed.
    std::optional<std::string> packageMediaFile(const std::string& path);

    std::vector<Asset> pgwAssetList_;
    fs::path appDir_;
    fs::path sourceDir_;
    fs::path destDir_;
    std::string destFileName_;
    fs::path baseTempDir_;
    fs::path epubTempDir_;
    fs::path templatesDir_;

    std::optional<Workspace> workspace;  // at baseTempDir_, once set up
    std::map<std::string, std::string> mediaCopies;  // asset file -> path inside the book
    std::set<std::string> mediaHrefs;                // the paths handed out above
};

// "Flow_" followed by anything, with the extension exactly "xhtml".
bool isFlowPageName(const std::string& name);

// The cover image a book uses: "cover.jpg", else "cover.gif" when it exists in
// `imagesFolder`, else "cover.png" (whether or not it exists).
std::string coverImageName(const fs::path& imagesFolder);

}  // namespace packager
