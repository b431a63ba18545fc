#include "epub/epub_export.h"

#include "common/file/file_io.h"

namespace packager {

EpubExport readEpubExport(const std::string& folder) {
    EpubExport exported;
    exported.folder = standardizePath(folder);
    exported.metadata = readBookMetadata(exported.folder);
    const std::filesystem::path assetList = exported.folder / "AssetList.xml";
    if (exists(assetList) && !isFolder(assetList))
        exported.assets = AssetHelper::assetArrayWithContentsOfFileURL(assetList);
    return exported;
}

bool isFlowPageName(const std::string& name) {
    return name.starts_with("Flow_") && std::filesystem::path(name).extension() == ".xhtml";
}

}  // namespace packager
