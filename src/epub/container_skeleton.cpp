// The files every book carries whatever its content: the media-type marker,
// the container document and the display options.
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/xml/xml.h"
#include "epub/build_steps.h"

namespace packager {

namespace {

constexpr std::string_view kEpubMediaType = "application/epub+zip";
constexpr std::string_view kContainerNamespace = "urn:oasis:names:tc:opendocument:xmlns:container";
constexpr std::string_view kPackageDocumentPath = "OEBPS/content.opf";
constexpr std::string_view kPackageMediaType = "application/oebps-package+xml";

xml::Document containerDocument() {
    xml::Document document = xml::Document::create("container");
    xml::Element container = document.root();
    container.addNamespace("", kContainerNamespace);
    container.setAttribute("version", "1.0");
    xml::Element rootfile = container.addChild("rootfiles").addChild("rootfile");
    rootfile.setAttribute("full-path", kPackageDocumentPath);
    rootfile.setAttribute("media-type", kPackageMediaType);
    return document;
}

xml::Document displayOptionsDocument() {
    xml::Document document = xml::Document::create("display_options");
    xml::Element platform = document.root().addChild("platform");
    platform.setAttribute("name", "*");
    platform.addChild("option", "true").setAttribute("name", "specified-fonts");
    return document;
}

}  // namespace

std::optional<BookFiles> createEPubStructure(const fs::path& output) {
    const fs::path containerFile = "META-INF/container.xml";
    const fs::path displayOptionsFile = "META-INF/com.apple.ibooks.display-options.xml";
    const bool written = EpubPackagerFileUtility::createDirectoryAtPath(output / "META-INF") &&
                         EpubPackagerFileUtility::createDirectoryAtPath(output / "OEBPS") &&
                         (exists(output / "mimetype") || writeFileAtomically(output / "mimetype", kEpubMediaType)) &&
                         (exists(output / containerFile) || containerDocument().save(output / containerFile)) &&
                         (exists(output / displayOptionsFile) || displayOptionsDocument().save(output / displayOptionsFile));
    if (!written) return std::nullopt;
    return BookFiles{"mimetype", containerFile, displayOptionsFile};
}

}  // namespace packager
