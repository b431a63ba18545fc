#include "epub/navigation_document.h"

#include <string>

namespace packager {

namespace {

constexpr std::string_view kXhtmlNamespace = "http://www.w3.org/1999/xhtml";
constexpr std::string_view kOpsNamespace = "http://www.idpf.org/2007/ops";
constexpr std::string_view kTitle = "Table Of Contents";

// An NCX may bind its namespace to a prefix: names are compared without it.
std::string_view localName(const std::string& name) {
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? std::string_view(name) : std::string_view(name).substr(colon + 1);
}

xml::Element child(const xml::Element& parent, std::string_view name) {
    for (const xml::Element& element : parent.children())
        if (localName(element.name()) == name) return element;
    return {};
}

std::vector<xml::Element> navPoints(const xml::Element& parent) {
    std::vector<xml::Element> points;
    for (const xml::Element& element : parent.children())
        if (localName(element.name()) == "navPoint") points.push_back(element);
    return points;
}

// One list item per navigation point, its own points nested below it. An
// entry without a target becomes a heading (span), as the format allows.
void addEntries(xml::Element list, const std::vector<xml::Element>& points) {
    for (const xml::Element& point : points) {
        const std::string label = child(child(point, "navLabel"), "text").text();
        const std::optional<std::string> target = child(point, "content").attribute("src");
        xml::Element item = list.addChild("li");
        if (target && !target->empty()) item.addChild("a", label.empty() ? *target : label).setAttribute("href", *target);
        else item.addChild("span", label);
        if (const std::vector<xml::Element> nested = navPoints(point); !nested.empty()) addEntries(item.addChild("ol"), nested);
    }
}

}  // namespace

xml::Document navigationDocument(const std::optional<xml::Document>& ncx, std::string_view language) {
    xml::Document document = xml::Document::create("html");
    xml::Element html = document.root();
    html.addNamespace("", kXhtmlNamespace);
    html.addNamespace("epub", kOpsNamespace);
    html.setAttribute("lang", language);
    html.setAttribute("xml:lang", language);
    html.addChild("head").addChild("title", kTitle);
    xml::Element nav = html.addChild("body").addChild("nav");
    nav.setAttribute("epub:type", "toc");
    nav.setAttribute("id", "toc");
    nav.setAttribute("role", "doc-toc");
    nav.addChild("h1", kTitle);
    xml::Element list = nav.addChild("ol");

    const std::vector<xml::Element> points = ncx ? navPoints(child(ncx->root(), "navMap")) : std::vector<xml::Element>{};
    if (!points.empty()) addEntries(list, points);
    else list.addChild("li").addChild("a", kCoverLabel).setAttribute("href", kCoverPage);
    return document;
}

}  // namespace packager
