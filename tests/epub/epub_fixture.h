#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/archive/archive.h"
#include "common/xml/xml.h"
#include "ebookpackager.h"
#include "epub/epub_package_run.h"
#include "package_contents.h"
#include "scratch.h"

namespace packager::testing {

inline EpubOptions epubOptions(std::uint32_t version = 3, std::int16_t fixedLayout = 0, std::uint16_t spreadMode = 0) {
    EpubOptions options{};
    options.epubVersion = version;
    options.fixedLayout = fixedLayout;
    options.spreadMode = spreadMode;
    options.pageWidth = 600;
    options.pageHeight = 800;
    return options;
}

// A reflow page whose body holds one div of paragraphs.
inline std::string page(const std::string& paragraphs, const std::string& head = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
           "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head><title>Page</title>" +
           head + "</head>\n<body><div class=\"story\">" + paragraphs + "</div></body>\n</html>\n";
}

// Copies an export folder, fills in its asset list template and, when asked,
// gives every page a viewport so that it can stand in a fixed-layout book.
inline fs::path copyExport(const fs::path& from, const fs::path& to) {
    copyExportFolder(from, to);
    return to;
}

inline std::uint32_t package(const fs::path& source, const fs::path& destination, const EpubOptions& options) {
    return createEPubPackage(source.string(), destination.string(), options, bundleDir());
}

}  // namespace packager::testing
