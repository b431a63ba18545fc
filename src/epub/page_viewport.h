#pragma once

#include <cstdint>
#include <filesystem>

namespace packager {

// A fixed-layout page states its size in a viewport meta, or reading systems
// cannot lay it out. A page copy without one gets `width` x `height` (CSS
// pixels) and is rewritten atomically; a page that has one, or that does not
// parse, stays as exported, and so does every page when the size is unknown
// (0). False only when a page needed the meta and could not be written.
bool addViewportIfMissing(const std::filesystem::path& page, std::uint16_t width, std::uint16_t height);

}  // namespace packager
