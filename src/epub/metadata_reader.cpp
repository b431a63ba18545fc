#include "epub/metadata_reader.h"

#include <array>
#include <string_view>

#include "common/file/file_io.h"
#include "common/xml/xml.h"

namespace packager {

namespace {

using Setter = void (MetaDataReader::*)(const std::string&);

struct Field {
    std::string_view element;
    std::string_view attribute;
    Setter setter;
};

constexpr std::array<Field, 8> kFields = {{
    {"Edition", "Name", &MetaDataReader::setBookTitle},
    {"Identifier", "ISBN", &MetaDataReader::setBookIdentifier},
    {"Contributor", "Author", &MetaDataReader::setBookCreator},
    {"Description", "Text", &MetaDataReader::setBookDescription},
    {"Language", "Text", &MetaDataReader::setBookLanguage},
    {"Publisher", "Name", &MetaDataReader::setBookPublisher},
    {"ProductName", "Name", &MetaDataReader::setContentGeneratorName},
    {"StoryDirection", "Type", &MetaDataReader::setStoryDirection},
}};

constexpr std::array<std::string_view, 3> kDefaultSubjects = {"epub", "ebook", "Pagewell"};

// White space and line breaks as UTF-8 sequences, the Unicode ones included.
constexpr std::array<std::string_view, 24> kBlanks = {
    " ", "\t", "\n", "\r", "\v", "\f",
    "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
    "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F",
};
constexpr std::string_view kIdeographicSpace = "\u3000";

std::size_t blankPrefix(std::string_view text) {
    for (std::string_view blank : kBlanks)
        if (text.starts_with(blank)) return blank.size();
    return text.starts_with(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

std::size_t blankSuffix(std::string_view text) {
    for (std::string_view blank : kBlanks)
        if (text.ends_with(blank)) return blank.size();
    return text.ends_with(kIdeographicSpace) ? kIdeographicSpace.size() : 0;
}

}  // namespace

std::string trimmed(const std::string& text) {
    std::string_view rest = text;
    while (std::size_t n = blankPrefix(rest)) rest.remove_prefix(n);
    while (std::size_t n = blankSuffix(rest)) rest.remove_suffix(n);
    return std::string(rest);
}

void MetaDataReader::readMetadataXml(const std::filesystem::path& file) {
    bool subjectFound = false;
    if (auto document = xml::Document::parseFile(file)) {
        for (const xml::Element& child : document->root().children()) {
            const std::string name = child.name();
            if (name == "Subject") {
                const std::string keyword = trimmed(child.attribute("Keyword").value_or(""));
                if (!keyword.empty()) {
                    setBookSubject(keyword);
                    subjectFound = true;
                }
                continue;
            }
            for (const Field& field : kFields) {
                if (name != field.element) continue;
                const std::optional<std::string> value = child.attribute(field.attribute);
                if (value && !trimmed(*value).empty()) (this->*field.setter)(*value);
            }
        }
    }
    if (!subjectFound)
        for (std::string_view subject : kDefaultSubjects) setBookSubject(std::string(subject));
}

MetaDataReader readBookMetadata(const fs::path& exportFolder) {
    MetaDataReader reader;
    if (const fs::path metadataFile = exportFolder / "OEBPS" / "Metadata.xml"; isPlainFile(metadataFile))
        reader.readMetadataXml(metadataFile);
    return reader;
}

}  // namespace packager
