#include "xps/tiff_conversion.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/image/image_utility.h"

namespace packager::xps {

void convertTiffs(std::vector<TiffConversion>& conversions, bool toPng, float level) {
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next++) < conversions.size();) {
            TiffConversion& conversion = conversions[i];
            conversion.converted = toPng ? EpubPackagerImageUtility::convertTiffToPng(conversion.from, conversion.to)
                                         : EpubPackagerImageUtility::convertTiffToJpeg(conversion.from, conversion.to, level);
        }
    };
    const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min(cores, conversions.size()) - (conversions.empty() ? 0 : 1);
    {
        std::vector<std::jthread> workers;
        try {
            for (std::size_t i = 0; i < helpers; ++i) workers.emplace_back(work);
        } catch (...) {
            // No more threads to be had: the ones started and this one finish the work.
        }
        work();
    }  // joins every worker
}

}  // namespace packager::xps
