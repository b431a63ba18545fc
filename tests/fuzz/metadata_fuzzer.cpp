// The book metadata reader on arbitrary bytes: every field stays usable and
// the subject list is never empty.
#include <cstdlib>

#include "epub/metadata_reader.h"
#include "fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = packager::fuzzing::writeInput("Metadata.xml", data, size);
    packager::MetaDataReader reader;
    reader.readMetadataXml(file);
    if (reader.bookSubjects().empty()) std::abort();
    return 0;
}
