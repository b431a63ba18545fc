#include "epub/epub_run.h"

namespace packager {

// Placeholder until the ePub packager lands.
std::uint32_t createEPubPackage(const std::string&, const std::string&, const EpubOptions&) { return 0; }

}  // namespace packager
