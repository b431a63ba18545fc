#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/xml/xml.h"

namespace packager {

// The kind of a media box; the values are the type codes the box updater takes.
enum class BoxType : int {
    audio = 0,
    video = 1,
};

// One reflow page: finds its video and audio elements (direct children of
// the paragraphs of the body's first div, or of the body when it has no div),
// sets their sources by box ID and writes the page back.
class HTMLParser {
public:
    // The parsed page, or nothing (logged) when it is not well-formed XML.
    static std::optional<HTMLParser> initWithFileURL(const std::filesystem::path& page);
    // The same for a page whose bytes the caller has already read.
    static std::optional<HTMLParser> initWithContents(const std::filesystem::path& page, std::string_view bytes);

    // The box IDs of the media elements in document order, one per element
    // that has an id.
    std::vector<std::string> allVideoBoxIDs() const;
    std::vector<std::string> allAudioBoxIDs() const;

    // Sets "src" of the first video with the box ID from the map's "source"
    // entry; a map without one changes nothing and succeeds.
    bool updateVideoTagAttributes(const std::map<std::string, std::string>& attributes, const std::string& boxID);
    bool updateSourcePath(const std::string& path, const std::string& boxID, BoxType type);

    // Writes the page as XHTML over `page`, atomically: a failed write keeps the old page.
    bool saveHTMLAtFileURL(const std::filesystem::path& page) const;

    // True once an element has been updated.
    bool modified() const { return changed; }

private:
    HTMLParser(std::filesystem::path page, xml::Document document);
    static std::optional<HTMLParser> adopt(const std::filesystem::path& page, std::optional<xml::Document> document,
                                           const std::string& error);

    std::vector<xml::Element> paragraphElements() const;
    void readElements();
    xml::Element elementWithBoxID(const std::string& boxID, BoxType type) const;
    // Replaces the attribute and drops the element's id, so the next lookup of
    // the same box ID finds the next element that carries it.
    bool updateValue(const std::string& value, std::string_view key, xml::Element element);

    std::filesystem::path fileURL;
    xml::Document xmlDoc;
    xml::Element rootElement;
    std::vector<xml::Element> videoElements;
    std::vector<xml::Element> audioElements;
    bool changed = false;
};

}  // namespace packager
