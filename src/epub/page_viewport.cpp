#include "epub/page_viewport.h"

#include <string>

#include "common/xml/xml.h"

namespace packager {

namespace {

bool hasViewport(const xml::Element& head) {
    for (const xml::Element& meta : head.children("meta"))
        if (meta.attribute("name") == "viewport") return true;
    return false;
}

}  // namespace

bool addViewportIfMissing(const std::filesystem::path& page, std::uint16_t width, std::uint16_t height) {
    if (width == 0 || height == 0) return true;
    std::optional<xml::Document> document = xml::Document::parseFile(page);
    if (!document) return true;
    xml::Element head = document->root().firstChild("head");
    if (!head || hasViewport(head)) return true;
    xml::Element meta = head.addChild("meta");
    meta.setAttribute("name", "viewport");
    meta.setAttribute("content", "width=" + std::to_string(width) + ", height=" + std::to_string(height));
    return document->save(page, xml::WriteOptions{.declareEncoding = true, .pretty = false, .xhtml = true});
}

}  // namespace packager
