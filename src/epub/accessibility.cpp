#include "epub/accessibility.h"

#include <string>
#include <vector>


namespace packager {

namespace {

bool isBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

// Records what one parsed page holds.
void surveyElement(const xml::Element& element, AccessibilityFacts& facts) {
    const std::string name = element.name();
    if (name == "img" || name == "image" || name == "svg:image") {
        facts.images = true;
        // An SVG image carries no alt attribute of its own.
        if (name != "img" || isBlank(element.attribute("alt").value_or(""))) facts.everyImageDescribed = false;
    } else if (name == "video" || name == "audio") {
        facts.timedMedia = true;
    }
    for (const xml::Element& child : element.children()) surveyElement(child, facts);
}

std::size_t countElements(const xml::Element& element, std::string_view name) {
    std::size_t count = element.name() == name ? 1 : 0;
    for (const xml::Element& child : element.children()) count += countElements(child, name);
    return count;
}

// More than one entry: the one-entry navigation points at the cover only.
bool listsMoreThanTheCover(const std::filesystem::path& oebps) {
    if (auto nav = xml::Document::parseFile(oebps / "nav.xhtml"))
        return countElements(nav->root().firstChild("body"), "a") > 1;
    if (auto ncx = xml::Document::parseFile(oebps / "toc.ncx")) return countElements(ncx->root(), "navPoint") > 1;
    return false;
}

void addProperty(xml::Element metadata, std::string_view property, std::string_view value) {
    metadata.addChild("meta", value).setAttribute("property", property);
}

std::string summary(const AccessibilityFacts& facts) {
    std::string text = !facts.images                ? "Text only."
                       : facts.everyImageDescribed ? "Text and images; every image has a text alternative."
                                                   : "Text and images; not every image has a text alternative.";
    text += facts.tableOfContents ? " Navigation by a table of contents and by the reading order."
                                  : " Navigation by the reading order.";
    text += facts.timedMedia ? " Contains audio or video, not checked for hazards." : " No known hazards.";
    return text;
}

}  // namespace

AccessibilityFacts surveyAccessibility(const std::filesystem::path& oebps, const BookFiles& placed) {
    AccessibilityFacts facts;
    for (const std::filesystem::path& relative : placed) {
        if (relative.extension() != ".xhtml" || relative == "nav.xhtml") continue;
        if (auto page = xml::Document::parseFile(oebps / relative, xml::Parse::Recover)) {
            surveyElement(page->root(), facts);
        } else {
            // Unread, it may hold anything.
            facts.images = facts.timedMedia = true;
            facts.everyImageDescribed = false;
        }
    }
    facts.tableOfContents = listsMoreThanTheCover(oebps);
    return facts;
}

void addAccessibilityMetadata(xml::Element metadata, const AccessibilityFacts& facts) {
    std::vector<std::string_view> modes = {"textual"};
    if (facts.images || facts.timedMedia) modes.push_back("visual");
    if (facts.timedMedia) modes.push_back("auditory");
    std::string allModes;
    for (std::string_view mode : modes) {
        addProperty(metadata, "schema:accessMode", mode);
        allModes += (allModes.empty() ? "" : ",") + std::string(mode);
    }
    const bool textSuffices = (!facts.images || facts.everyImageDescribed) && !facts.timedMedia;
    addProperty(metadata, "schema:accessModeSufficient", textSuffices ? "textual" : allModes);
    if (facts.tableOfContents) addProperty(metadata, "schema:accessibilityFeature", "tableOfContents");
    addProperty(metadata, "schema:accessibilityFeature", "readingOrder");
    if (facts.images && facts.everyImageDescribed) addProperty(metadata, "schema:accessibilityFeature", "alternativeText");
    addProperty(metadata, "schema:accessibilityHazard", facts.timedMedia ? "unknown" : "none");
    addProperty(metadata, "schema:accessibilitySummary", summary(facts));
}

}  // namespace packager
