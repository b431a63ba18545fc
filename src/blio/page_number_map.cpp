#include "blio/page_number_map.h"

#include <string>

#include "common/xml/xml.h"

namespace packager {

bool writePageNumberMap(const std::filesystem::path& file, std::size_t pages) {
    xml::Document document = xml::Document::create("PageNumberMap");
    for (std::size_t index = 0; index < pages; ++index) {
        xml::Element page = document.root().addChild("Page");
        page.setAttribute("Index", std::to_string(index));
        page.setAttribute("Folio", std::to_string(index + 1));
        // The reader measures pages itself; the attributes must be present.
        page.setAttribute("WordCount", "");
        page.setAttribute("PageHeight", "");
        page.setAttribute("PageWidth", "");
    }
    return document.save(file, {.declareEncoding = true, .pretty = true});
}

}  // namespace packager
