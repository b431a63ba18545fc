#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace packager {

namespace fs = std::filesystem;

// The viewer pages are copies of the bundle's templates with one placeholder
// filled in: "#IMAGENAMES#" of the slideshow, "#URL#" of the HTML viewer.

// One slideshow image: an anchor around the image `key`/`fileName`, to be
// concatenated with the others of the page.
std::string slideshowImageFragment(std::string_view key, std::string_view fileName);

// Copies the template to `page` and fills its placeholder with `replacement`;
// false when either step failed.
bool makeViewerPage(const fs::path& templateFile, const fs::path& page, std::string_view placeholder,
                    std::string_view replacement);

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
