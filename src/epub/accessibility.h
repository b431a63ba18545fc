#pragma once

#include <filesystem>

#include "common/xml/xml.h"

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

// Surveys the XHTML pages and the navigation files below `oebps`.
AccessibilityFacts surveyAccessibility(const std::filesystem::path& oebps);

// Adds the schema.org accessibility properties of an EPUB 3 package, stating
// only what `facts` establish.
void addAccessibilityMetadata(xml::Element metadata, const AccessibilityFacts& facts);

}  // namespace packager
