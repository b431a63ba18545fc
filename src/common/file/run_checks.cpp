#include "common/file/run_checks.h"

#include "common/file/file_io.h"
#include "ebookpackager.h"

namespace packager {

fs::path templatesFolder(const fs::path& bundle) { return bundle / "Resources" / "Templates"; }

std::uint32_t checkBundle(const std::optional<fs::path>& bundle, std::span<const BundleFile> files) {
    if (!bundle) return EBOOKPACKAGER_CANNOT_INITIALIZE;
    for (const BundleFile& file : files)
        if (!exists(*bundle / file.path)) return file.missingCode;
    if (!isFolder(templatesFolder(*bundle))) return EBOOKPACKAGER_TEMPLATES_MISSING;
    return EBOOKPACKAGER_OK;
}

CheckedRun checkRun(const std::string& source, const std::string& destination, std::string_view extension,
                    const std::optional<fs::path>& bundle, std::span<const BundleFile> files) {
    if (std::uint32_t code = checkBundle(bundle, files); code != EBOOKPACKAGER_OK) return {code, std::nullopt};
    std::optional<Delivery> delivery = prepareDelivery(source, destination, extension);
    if (!delivery) return {EBOOKPACKAGER_DESTINATION_NOT_WRITABLE, std::nullopt};
    if (!isFolder(source)) return {EBOOKPACKAGER_SOURCE_NOT_FOLDER, std::nullopt};
    return {EBOOKPACKAGER_OK, std::move(delivery)};
}

}  // namespace packager
