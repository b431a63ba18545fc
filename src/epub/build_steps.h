#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/assets/media_types.h"
#include "ebookpackager.h"
#include "epub/epub_export.h"
#include "epub/workspace_copy.h"

namespace packager {

// The steps that build a book in a workspace folder, in the order a run takes
// them. `output` is the folder that becomes the book, `oebps` its OEBPS
// folder. Each step that adds to OEBPS answers the files it placed there,
// which the package document then lists; none when it could not write a file
// the book needs (a full disk), and the book is then not made. An optional
// input the export lacks is left out, which is no failure.

// The files every book carries whatever its content: "mimetype" and
// META-INF's container and display options, by their paths inside `output`;
// and an empty OEBPS folder.
std::optional<BookFiles> createEPubStructure(const fs::path& output);

// The export's images, reflow pages (pointed at their media, which is copied
// in too, and sized when the layout is fixed), style sheets, and the host's
// table-of-contents style sheet from beside the bundle.
std::optional<BookFiles> copyResources(const EpubExport& source, const fs::path& bundle, const EpubOptions& options,
                                       const fs::path& oebps);

// The cover page and image: the export's own, else the bundle's templates.
std::optional<BookFiles> createBookCover(const EpubExport& source, const fs::path& templates,
                                         const EpubOptions& options, const fs::path& oebps);

// The NCX and, for EPUB 3, the navigation document: the export's own, else made.
std::optional<BookFiles> createTableOfContents(const EpubExport& source, std::uint32_t epubVersion,
                                               const fs::path& oebps);

// The package document listing `placed`, and the blank page that opens a
// book whose spreads start on the right: the files it wrote.
std::optional<BookFiles> createContentOPF(const EpubExport& source, const MediaTypes::Table& mediaTypes,
                                          const BookFiles& placed, const EpubOptions& options, const fs::path& oebps);

// The book at `target`, all stored: "mimetype" first, then the rest of
// `structure`, then `placed` below OEBPS. A folder at `target` receives the
// book inside it, under the same name.
bool generateEpubFile(const fs::path& output, const BookFiles& structure, const BookFiles& placed, fs::path target);

// The cover image a book uses: "cover.jpg", else "cover.gif" when it exists in
// `imagesFolder`, else "cover.png" (whether or not it exists).
std::string coverImageName(const fs::path& imagesFolder);

}  // namespace packager
