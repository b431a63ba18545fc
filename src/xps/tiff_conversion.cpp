#include "xps/tiff_conversion.h"

#include <atomic>
#include <memory>
#include <optional>
#include <span>

#include "common/archive/archive.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "common/platform/parallel.h"
#include "xps/memory_budget.h"
#include "xps/part_names.h"

namespace packager::xps {

namespace {

using Images = EpubPackagerImageUtility;

// The encoded bytes of one TIFF entry, in memory or, when too large for
// that, in a staged file that goes away with the object.
class TiffBytes {
public:
    TiffBytes(const archive::Archive& archive, const std::string& entry, const fs::path& staging, MemoryBudget& budget)
        : held(budget, archive.declaredSize(entry).value_or(0)) {
        if (std::optional<std::string> inflated = archive.read(entry)) bytes = std::move(*inflated);
        else if (!archive.extract({{entry}}, staging).empty()) file = staging / entry;
        else readable = false;
    }
    TiffBytes(const TiffBytes&) = delete;
    TiffBytes& operator=(const TiffBytes&) = delete;
    ~TiffBytes() {
        if (!file.empty()) EpubPackagerFileUtility::remove(file);
    }

    explicit operator bool() const { return readable; }
    bool hasAlpha() const { return file.empty() ? Images::hasAlpha(encoded()) : Images::hasAlpha(file); }
    bool convert(const fs::path& to, bool toPng, float level) const {
        if (toPng) return file.empty() ? Images::convertTiffToPng(encoded(), to) : Images::convertTiffToPng(file, to);
        return file.empty() ? Images::convertTiffToJpeg(encoded(), to, level) : Images::convertTiffToJpeg(file, to, level);
    }

private:
    std::span<const std::byte> encoded() const { return std::as_bytes(std::span(bytes)); }

    MemoryBudget::Reservation held;  // taken before the bytes are read
    std::string bytes;
    fs::path file;
    bool readable = true;
};

// The TIFFs held in memory at once, whatever the number of threads: a scanned
// page is about 25 MB, and the update as a whole keeps within 400 MB.
constexpr std::uint64_t kTiffMemory = std::uint64_t{256} << 20;

}  // namespace

bool convertTiffs(const TiffSource& source, std::vector<TiffConversion>& conversions, bool toPng, float level) {
    std::atomic<bool> alphaSeen{false};
    MemoryBudget budget(kTiffMemory);
    platform::forEachInParallel(conversions.size(), [&]() -> platform::IndexWork {
        // Shared only so that the worker can be a std::function, which must be copyable.
        auto archive = std::make_shared<std::optional<archive::Archive>>(archive::Archive::open(source.archive));
        return [&, archive](std::size_t index) {
            if (!*archive) return;
            TiffConversion& conversion = conversions[index];
            // One TIFF at a time per thread: memory stays flat with the number of pages.
            const TiffBytes tiff(**archive, conversion.entry, source.staging, budget);
            if (!tiff) return;
            if (!toPng && tiff.hasAlpha()) alphaSeen = true;
            if (conversion.to.empty() || (!toPng && alphaSeen)) return;
            conversion.converted = tiff.convert(conversion.to, toPng, level);
        };
    });
    return alphaSeen;
}

}  // namespace packager::xps
