// The media-type table reader on arbitrary bytes.
#include "common/assets/media_types.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = packager::fuzzing::writeInput("MediaTypes.xml", data, size);
    packager::MediaTypes table;
    table.readXml(file);
    return 0;
}
