#include "xps/tiff_conversion.h"

#include "common/image/image_utility.h"
#include "xps/parallel.h"

namespace packager::xps {

void convertTiffs(std::vector<TiffConversion>& conversions, bool toPng, float level) {
    forEachInParallel(conversions.size(), [&]() -> IndexWork {
        return [&](std::size_t index) {
            TiffConversion& conversion = conversions[index];
            conversion.converted = toPng ? EpubPackagerImageUtility::convertTiffToPng(conversion.from, conversion.to)
                                         : EpubPackagerImageUtility::convertTiffToJpeg(conversion.from, conversion.to, level);
        };
    });
}

}  // namespace packager::xps
