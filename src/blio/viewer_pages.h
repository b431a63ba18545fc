#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <optional>
#include <sys/types.h>
#include <utility>

namespace packager {

namespace fs = std::filesystem;

// The viewer pages are copies of the bundle's templates with one placeholder
// filled in: "#IMAGENAMES#" of the slideshow, "#URL#" of the HTML viewer.

// One slideshow image: an anchor around the image `key`/`fileName`, to be
// concatenated with the others of the page.
std::string slideshowImageFragment(std::string_view key, std::string_view fileName);

// One of the bundle's viewer templates, read once however many pages are made
// from it: a book may have thousands of links.
class ViewerTemplate {
public:
    ViewerTemplate(fs::path file, std::string_view placeholder) : file(std::move(file)), placeholder(placeholder) {}

    // Writes `page` (its folders created) as the template with its placeholder
    // filled with `replacement`, with the template's permission bits; false
    // when the template is not readable UTF-8, `replacement` is not UTF-8, or
    // the page cannot be written.
    bool makePage(const fs::path& page, std::string_view replacement);

    const fs::path& path() const { return file; }

private:
    void read();

    fs::path file;
    std::string_view placeholder;
    std::optional<std::string> text;
    std::optional<mode_t> permissions;
    bool tried = false;
};

// A web address as the value of the viewer's src attribute: the characters
// that would end or change the attribute are written as references.
std::string addressAttributeValue(std::string_view address);

// A path relative to the viewer page, made of plain names: each name
// percent-encoded where a URL would read it otherwise ("#", "?", "%", spaces),
// then written as an attribute value.
std::string relativeAddressAttributeValue(std::string_view folder, std::string_view fileName);

inline constexpr std::string_view kImageNamesPlaceholder = "#IMAGENAMES#";
inline constexpr std::string_view kUrlPlaceholder = "#URL#";

}  // namespace packager
