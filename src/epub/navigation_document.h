#pragma once

#include <optional>
#include <string_view>

#include "common/xml/xml.h"

namespace packager {

// The one entry of a table of contents the export does not give: the cover.
inline constexpr std::string_view kCoverLabel = "Book Cover";
inline constexpr std::string_view kCoverPage = "cover.xhtml";

// The EPUB 3 navigation document of a book whose export has none. With the
// export's NCX it lists the same entries (labels, targets, order and nesting),
// since reading systems prefer a navigation document to the NCX; without one
// it has a single entry for the cover. `language` is the book's.
xml::Document navigationDocument(const std::optional<xml::Document>& ncx, std::string_view language);

}  // namespace packager
