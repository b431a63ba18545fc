// The asset list reader on arbitrary bytes: any file must give a list (often
// empty), never a crash or a hang.
#include "common/assets/asset.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = packager::fuzzing::writeInput("AssetList.xml", data, size);
    packager::AssetHelper::assetArrayWithContentsOfFileURL(file);
    return 0;
}
