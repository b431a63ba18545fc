#include "epub/html_parser.h"

#include "common/platform/system_log.h"

namespace packager {

namespace {

std::vector<std::string> boxIDsOf(const std::vector<xml::Element>& elements) {
    std::vector<std::string> ids;
    for (const xml::Element& element : elements)
        if (auto id = element.attribute("id")) ids.push_back(*id);
    return ids;
}

}  // namespace

HTMLParser::HTMLParser(std::filesystem::path page, xml::Document document)
    : fileURL(std::move(page)), xmlDoc(std::move(document)), rootElement(xmlDoc.root()) {
    readElements();
}

std::optional<HTMLParser> HTMLParser::adopt(const std::filesystem::path& page, std::optional<xml::Document> document,
                                            const std::string& error) {
    if (!document || !document->root()) {
        logMessage("Error - " + error);
        return std::nullopt;
    }
    return HTMLParser(page, std::move(*document));
}

std::optional<HTMLParser> HTMLParser::initWithFileURL(const std::filesystem::path& page) {
    std::string error;
    auto document = xml::Document::parseFile(page, xml::Parse::Strict, &error);
    return adopt(page, std::move(document), error);
}

std::optional<HTMLParser> HTMLParser::initWithContents(const std::filesystem::path& page, std::string_view bytes) {
    std::string error;
    auto document = xml::Document::parseMemory(bytes, xml::Parse::Strict, &error);
    return adopt(page, std::move(document), error);
}

std::vector<xml::Element> HTMLParser::paragraphElements() const {
    xml::Element body = rootElement.firstChild("body");
    if (!body) return {};
    xml::Element division = body.firstChild("div");
    return division ? division.children("p") : body.children("p");
}

void HTMLParser::readElements() {
    videoElements.clear();
    audioElements.clear();
    for (const xml::Element& paragraph : paragraphElements()) {
        for (const xml::Element& child : paragraph.children()) {
            const std::string name = child.name();
            if (name == "video") videoElements.push_back(child);
            else if (name == "audio") audioElements.push_back(child);
        }
    }
}

std::vector<std::string> HTMLParser::allVideoBoxIDs() const { return boxIDsOf(videoElements); }

std::vector<std::string> HTMLParser::allAudioBoxIDs() const { return boxIDsOf(audioElements); }

xml::Element HTMLParser::elementWithBoxID(const std::string& boxID, BoxType type) const {
    for (const xml::Element& element : type == BoxType::video ? videoElements : audioElements)
        if (element.attribute("id") == boxID) return element;
    return {};
}

bool HTMLParser::updateValue(const std::string& value, std::string_view key, xml::Element element) {
    if (!element || key.empty()) return false;
    element.removeAttribute(key);
    element.setAttribute(key, value);
    element.removeAttribute("id");
    changed = true;
    return true;
}

bool HTMLParser::updateSourcePath(const std::string& path, const std::string& boxID, BoxType type) {
    return updateValue(path, "src", elementWithBoxID(boxID, type));
}

bool HTMLParser::updateVideoTagAttributes(const std::map<std::string, std::string>& attributes,
                                          const std::string& boxID) {
    auto source = attributes.find("source");
    if (source == attributes.end()) return true;
    return updateValue(source->second, "src", elementWithBoxID(boxID, BoxType::video));
}

bool HTMLParser::saveHTMLAtFileURL(const std::filesystem::path& page) const {
    if (fileURL.empty()) return false;
    if (!xmlDoc.save(page, xml::WriteOptions{.declareEncoding = true, .pretty = false, .xhtml = true})) {
        logMessage("Could not write document out...");
        return false;
    }
    return true;
}

}  // namespace packager
