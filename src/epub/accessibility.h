#pragma once

#include <filesystem>

#include "common/xml/xml.h"
#include "epub/book_files.h"

namespace packager {

// What a book's own files show about how it can be read. Each fact is
// established from the pages themselves; where a page cannot be read the
// answer is the one that claims less.
struct AccessibilityFacts {
    bool images = false;             // some page shows an image
    bool everyImageDescribed = true;  // every image has a non-empty text alternative
    bool timedMedia = false;          // some page plays audio or video
    bool tableOfContents = false;     // the navigation lists more than the cover
};

// Surveys the XHTML pages among `placed` (paths inside the OEBPS folder
// `oebps`) and the navigation files.
AccessibilityFacts surveyAccessibility(const std::filesystem::path& oebps, const BookFiles& placed);

// Adds the schema.org accessibility properties of an EPUB 3 package, stating
// only what `facts` establish.
void addAccessibilityMetadata(xml::Element metadata, const AccessibilityFacts& facts);

}  // namespace packager
