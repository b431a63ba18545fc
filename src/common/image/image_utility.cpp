#include "common/image/image_utility.h"

#include "common/image/image_conversion.h"
#include "common/image/image_reader.h"
#include "common/text/ascii_case.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace packager {

namespace {

enum class FileType { bmp, gif, png, jpeg, tiff };

struct ExtensionType {
    std::string_view extension;  // lower case, without the dot
    FileType type;
};

constexpr ExtensionType extensionTypes[] = {
    {"bmp", FileType::bmp},   {"gif", FileType::gif},  {"png", FileType::png},   {"jpg", FileType::jpeg},
    {"jpeg", FileType::jpeg}, {"jpe", FileType::jpeg}, {"tif", FileType::tiff}, {"tiff", FileType::tiff},
};

constexpr int lowestQuality = 1;
constexpr int highestQuality = 100;

// From the name alone; the contents are not looked at. The file must be there.
std::optional<FileType> fileTypeOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    const std::string dotted = lowerCased(file.extension().native());
    if (dotted.size() < 2) return std::nullopt;
    const std::string_view extension = std::string_view(dotted).substr(1);
    for (const ExtensionType& row : extensionTypes)
        if (row.extension == extension) return row.type;
    return std::nullopt;
}

int qualityFor(float level) {
    double scaled = std::round(static_cast<double>(level) * 100.0);
    if (!(scaled >= lowestQuality)) return lowestQuality;  // also NaN
    if (scaled > highestQuality) return highestQuality;
    return static_cast<int>(scaled);
}

}  // namespace

bool EpubPackagerImageUtility::isImageFile(const fs::path& file) {
    std::optional<FileType> type = fileTypeOf(file);
    return type && *type != FileType::tiff;
}


bool EpubPackagerImageUtility::hasAlpha(const fs::path& file) {
    image::Image picture = image::openFirstPage(file);
    return picture && image::hasAlphaBand(picture.get());
}

bool EpubPackagerImageUtility::hasAlpha(std::span<const std::byte> encoded) {
    image::Image picture = image::openFirstPage(encoded);
    return picture && image::hasAlphaBand(picture.get());
}

double EpubPackagerImageUtility::getImageWidth(const fs::path& file) {
    image::Image picture = image::openFirstPage(file);
    if (!picture) return 0.0;
    // Width over an unpadded row of width * bands * bytes per sample.
    auto bytesPerPixel = static_cast<double>(vips_image_get_bands(picture.get())) *
                         static_cast<double>(vips_format_sizeof(vips_image_get_format(picture.get())));
    return bytesPerPixel > 0 ? 1.0 / bytesPerPixel : 0.0;
}

bool EpubPackagerImageUtility::convertTiffToJpeg(const fs::path& from, const fs::path& to, float level) {
    return image::writeJpeg(from, to, qualityFor(level));
}

bool EpubPackagerImageUtility::convertTiffToJpeg(std::span<const std::byte> from, const fs::path& to, float level) {
    return image::writeJpeg(from, to, qualityFor(level));
}

bool EpubPackagerImageUtility::convertTiffToPng(const fs::path& from, const fs::path& to) {
    return image::writePng(from, to);
}

bool EpubPackagerImageUtility::convertTiffToPng(std::span<const std::byte> from, const fs::path& to) {
    return image::writePng(from, to);
}

}  // namespace packager
