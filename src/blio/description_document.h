#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/xml/xml.h"

namespace packager {

// The element names of one enhanced-content description file.
struct DescriptionNames {
    std::string_view fileName;
    std::string_view root;
    std::string_view list;
    std::string_view item;
    std::string_view number;  // the attribute that numbers the descriptions
};

using DescriptionAttributes = std::vector<std::pair<std::string_view, std::string>>;

// One description file, held in memory while a run describes its assets and
// written once at the end, so n assets cost n appends rather than n parses
// and saves of a growing file. The file on disk ends as it would after
// appending one description at a time.
class DescriptionDocument {
public:
    DescriptionDocument(std::filesystem::path file, const DescriptionNames& names);

    // Appends one description with the attributes in their order; the value of
    // the numbering attribute is the count already listed. A file already on
    // disk is read at the first append; one that does not parse or has no list
    // is left as it is.
    void append(const DescriptionAttributes& attributes);

    // Writes the file atomically when something was appended: true when it
    // was written or there was nothing to write.
    bool save();

private:
    void load();

    std::filesystem::path file;
    const DescriptionNames* names;
    std::optional<xml::Document> document;
    xml::Element list;
    std::size_t count = 0;
    bool loaded = false;
    bool changed = false;
};

}  // namespace packager
