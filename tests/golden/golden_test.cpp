// Golden runs: each example and corpus export is packaged through the
// command line (and so through the C interface) with each option set that
// changes the output, and with the bad inputs and destinations a host can
// hand over. What the run printed, its exit status and a manifest of
// everything in the test's folder afterwards (the package, the export folder,
// the temporary folder) are compared with the file checked in under
// tests/golden/expected. A refactoring that changes no output leaves every
// manifest as it was.
//
// The manifest lists each file, and each entry of a package, with its
// compression method, size and a hash of its bytes. Names the library draws
// at random (12 hexadecimal digits), the dates it stamps and the test's own
// folder are masked first, in names and contents alike.
// EBOOKPACK_GOLDEN_UPDATE=1 rewrites the expected files.
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "scratch.h"
#include "xps_entries.h"

namespace packager::testing {
namespace {

// The test's folder holds the export ("export"), its temporary folder ("tmp")
// and, for rows that change the bundle, a copy of the plug-in ("bundle").
using Preparation = void (*)(const fs::path& scratch);

struct GoldenCase {
    const char* name;
    // Relative to the repository, to the corpus with "corpus:", or "xps:" and
    // part of the name of a corpus XPS document, which then replaces the Blio
    // example's own.
    const char* source;
    const char* command;  // "epub" or "blio"
    const char* options = "";
    const char* destination = "out/Book";  // below the test's folder unless absolute
    Preparation prepare = nullptr;
    Preparation bundle = nullptr;  // changes a copy of the plug-in's bundle the run then loads
};

void PrintTo(const GoldenCase& golden, std::ostream* out) { *out << golden.name; }

fs::path exportedXps(const fs::path& scratch) { return scratch / "export" / "blio-book.xps"; }

// The package's image referenced from a resource dictionary and from relative
// relationship targets, made a TIFF declared by a Default.
void makeChocolateTiff(const fs::path& scratch, TiffKind kind) {
    const std::string image = "Resources/dc22c543-4ccc-417c-9a55-dae32af467bd";
    makeTiffVariant(exportedXps(scratch), exportedXps(scratch), image + ".png", image + ".tif", kind,
                    "<Default Extension=\"tif\" ContentType=\"image/tiff\" />");
}

// The UTF-16 package's image `from` made the TIFF `to`, declared by an
// Override for `declared` and named `spelled` (`to` when empty) by its parts.
void makeTikaTiff(const fs::path& scratch, const std::string& from, const std::string& to, TiffKind kind,
                  const std::string& declared, const std::string& spelled = "") {
    makeTiffVariant(exportedXps(scratch), exportedXps(scratch), "Resources/Images/" + from, to, kind,
                    "<Override PartName=\"/" + declared + "\" ContentType=\"image/tiff\"/>", spelled);
}

const GoldenCase kCases[] = {
    {"epub-book-epub3", "examples/epub-book", "epub"},
    {"epub-book-epub2", "examples/epub-book", "epub", "--epub-version 2"},
    {"epub-book-epub3-fixed-landscape-spread-right", "examples/epub-book", "epub",
     "--fixed-layout --orientation landscape --spread right --page-size 768x1024"},
    {"epub-book-epub2-fixed", "examples/epub-book", "epub", "--epub-version 2 --fixed-layout"},
    {"minimal-epub3", "corpus:export/minimal", "epub"},
    {"sierra-epub3", "corpus:export/sierra", "epub"},
    {"sierra-epub3-fixed-spread-none", "corpus:export/sierra", "epub", "--fixed-layout --spread none"},
    {"sierra-epub2", "corpus:export/sierra", "epub", "--epub-version 2"},
    {"blio-book", "examples/blio-book", "blio"},
    {"book1-blio", "corpus:blio-export/book1", "blio"},
    {"xps-tiff-alpha", "xps:tiff-alpha", "blio"},
    {"xps-two-documents", "xps:2docs", "blio"},
    {"xps-fonts", "xps:chocolate", "blio"},
    {"xps-outline", "xps:outline", "blio"},
    {"xps-utf16", "xps:tika-various", "blio"},
    {"xps-nonstandard-layout", "xps:nonstandard-layout", "blio"},
    {"xps-utf16-fonts", "xps:tika-ppt", "blio"},
    {"xps-interleaved", "xps:interleaved", "blio"},
    // Real packages with one image made a TIFF: with alpha it becomes a PNG,
    // opaque a JPEG, and every reference follows, UTF-16 pages and names in
    // other cases than the entry's included.
    {"xps-tiff-with-alpha-by-default", "xps:chocolate", "blio", "", "out/Book",
     [](const fs::path& scratch) { makeChocolateTiff(scratch, TiffKind::asItIs); }},
    {"xps-opaque-tiff-by-default", "xps:chocolate", "blio", "", "out/Book",
     [](const fs::path& scratch) { makeChocolateTiff(scratch, TiffKind::opaque); }},
    // A reference that only starts with the image's name names another part.
    {"xps-tiff-name-starting-a-longer-name", "xps:chocolate", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         makeChocolateTiff(scratch, TiffKind::opaque);
         Entries entries = readEntries(exportedXps(scratch));
         entries["Documents/1/Pages/1.fpage"] += "<!-- /Resources/dc22c543-4ccc-417c-9a55-dae32af467bd.tifx -->";
         writeDeflated(exportedXps(scratch), entries, scratch);
     }},
    // 16 bits per sample stay so in a PNG and become 8 in a JPEG.
    {"xps-tiff-of-16-bits-with-alpha", "xps:chocolate", "blio", "", "out/Book",
     [](const fs::path& scratch) { makeChocolateTiff(scratch, TiffKind::sixteenBits); }},
    {"xps-opaque-tiff-of-16-bits", "xps:tika-various", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         makeTikaTiff(scratch, "image_1.jpg", "Resources/image_1.tif", TiffKind::sixteenBits, "Resources/image_1.tif");
     }},
    // Its colour profile goes with the converted image.
    {"xps-tiff-with-colour-profile", "xps:chocolate", "blio", "", "out/Book",
     [](const fs::path& scratch) { makeChocolateTiff(scratch, TiffKind::p3Profile); }},
    {"xps-tiff-in-utf16-page", "xps:tika-various", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         makeTikaTiff(scratch, "image_0.png", "Resources/image_0.tif", TiffKind::opaque, "Resources/image_0.tif");
     }},
    {"xps-tiff-named-in-other-cases", "xps:tika-various", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         makeTikaTiff(scratch, "image_0.png", "Resources/Image_0.tif", TiffKind::opaque, "RESOURCES/image_0.TIF",
                      "resources/IMAGE_0.tif");
     }},
    {"xps-tiff-named-with-an-escaped-dot", "xps:tika-various", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         makeTikaTiff(scratch, "image_0.png", "Resources/image_0.tif", TiffKind::opaque, "Resources/image_0.tif",
                      "Resources/image_0%2Etif");
     }},

    // Where the package goes: beside what the destination folder holds, named
    // after the destination, into the export folder (which is then tidied),
    // and nowhere for a destination that names no file or lies inside the
    // export.
    {"epub-foreign-items-kept", "examples/epub-book", "epub", "", "out/Other.epub",
     [](const fs::path& scratch) { writeText(scratch / "out" / "dummyfolder" / "keep.txt", "not the packager's"); }},
    {"epub-into-export", "examples/epub-book", "epub", "", "export/Book"},
    {"epub-destination-is-a-folder", "examples/epub-book", "epub", "", "out/Shelf.epub",
     [](const fs::path& scratch) { fs::create_directories(scratch / "out" / "Shelf.epub"); }},
    // A folder where the package would go is the user's: the package is not delivered.
    {"blio-destination-is-a-folder", "examples/blio-book", "blio", "", "out/Shelf.xps",
     [](const fs::path& scratch) { writeText(scratch / "out" / "Shelf.xps" / "theirs.txt", "a folder of theirs"); }},
    {"blio-name-in-other-case", "examples/blio-book", "blio", "", "out/Caps.XPS"},
    {"blio-trailing-separators", "examples/blio-book", "blio", "", "out/Book//"},
    {"blio-into-export", "examples/blio-book", "blio", "", "export/Book",
     [](const fs::path& scratch) { writeText(scratch / "export" / "Book_Assets" / "kept.txt", "the package's"); }},
    {"blio-over-exported-xps", "examples/blio-book", "blio", "", "export/blio-book"},
    // Names in another case are other files on a case-sensitive file system.
    {"blio-exported-xps-in-other-case", "examples/blio-book", "blio", "", "export/BLIO-BOOK"},
    {"blio-folder-named-like-the-export", "examples/blio-book", "blio", "", "EXPORT/Book",
     [](const fs::path& scratch) { writeText(scratch / "EXPORT" / "theirs.txt", "another folder's"); }},
    // The spine depth goes into the export's read-only Metadata.xml, which stays read-only.
    {"blio-read-only-metadata", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         fs::permissions(scratch / "export" / "Metadata.xml", fs::perms::owner_write, fs::perm_options::remove);
     }},
    {"blio-into-export-subfolder", "examples/blio-book", "blio", "", "export/Flow/Book"},
    {"epub-into-reflow-folder", "examples/epub-book", "epub", "", "export/OEBPS/images/Book"},
    {"blio-into-new-export-subfolder", "examples/blio-book", "blio", "", "export/new/Book"},
    {"blio-parent-folder", "examples/blio-book", "blio", "", "out/.."},
    {"blio-root", "examples/blio-book", "blio", "", "/"},
    {"epub-root", "examples/epub-book", "epub", "", "/"},
    {"epub-under-a-file", "examples/epub-book", "epub", "", "a-file/Book",
     [](const fs::path& scratch) { writeText(scratch / "a-file", "in the way"); }},

    // Damaged files of the export are packaged as they stand.
    {"epub-damaged-files-kept", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) {
         const fs::path oebps = scratch / "export" / "OEBPS";
         writeText(oebps / "Flow_1.xhtml", "<html><body><p><video id=\"box1\"></p>");
         writeText(oebps / "Metadata.xml", "<Metadata><Edition Name=\"x\">");
         writeText(oebps / "toc.ncx", "<ncx");
         writeText(scratch / "export" / "AssetList.xml", "<AssetList><Asset ID=\"box1\"><Path>");
     }},

    // Numbers as a scanner reads them: leading whitespace and sign, a fraction,
    // an exponent, whatever follows ignored; beyond the range, saturated.
    {"blio-numbers-as-written", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         const fs::path list = scratch / "export" / "AssetList.xml";
         std::string text = readText(list);
         const std::pair<const char*, const char*> boxes[] = {
             {"PageIndex=\"1\" X=\"72\" Y=\"400\" Width=\"240\" Height=\"135\"",
              "PageIndex=\"2nd\" X=\"7.2e1pt\" Y=\" +4E2\" Width=\"240.\" Height=\"1.35e+2px\""},
             {"PageIndex=\"1\" X=\"330\" Y=\"400\" Width=\"210\" Height=\"120\"",
              "PageIndex=\" -3\" X=\"3.3e\" Y=\"1e999\" Width=\"-.5\" Height=\"12e-999\""},
             {"PageIndex=\"1\" X=\"72\" Y=\"560\" Width=\"200\" Height=\"24\"",
              "PageIndex=\"99999999999999999999\" X=\"abc\" Y=\"+\" Width=\"0x10\" Height=\"2.5E-1\""},
             {"PageIndex=\"1\" X=\"330\" Y=\"560\" Width=\"210\" Height=\"140\"",
              "PageIndex=\"\" X=\"-1e999\" Y=\".\" Width=\"5.e1\" Height=\"7e+\""},
         };
         for (const auto& [from, to] : boxes) text.replace(text.find(from), std::string_view(from).size(), to);
         writeText(list, text);
     }},

    // Exports and bundles the run refuses, leaving everything as it was.
    {"epub-source-missing", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) { fs::remove_all(scratch / "export"); }},
    {"epub-source-is-a-file", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) {
         fs::remove_all(scratch / "export");
         writeText(scratch / "export", "a file");
     }},
    {"epub-no-reflow-folder", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) { fs::rename(scratch / "export" / "OEBPS", scratch / "export" / "oebps"); }},
    {"epub-no-flow-pages", "examples/epub-book", "epub", "", "out/new/Book",
     [](const fs::path& scratch) {
         for (const auto& page : fs::directory_iterator(scratch / "export" / "OEBPS"))
             if (page.path().filename().string().starts_with("Flow_")) fs::remove(page.path());
     }},
    {"epub-no-media-types", "examples/epub-book", "epub", "", "out/Book", nullptr,
     [](const fs::path& bundle) { fs::remove(bundle / "Resources" / "MediaTypes.xml"); }},
    {"epub-no-templates", "examples/epub-book", "epub", "", "out/Book", nullptr,
     [](const fs::path& bundle) { fs::remove_all(bundle / "Resources" / "Templates"); }},
    {"blio-no-templates", "examples/blio-book", "blio", "", "out/Book", nullptr,
     [](const fs::path& bundle) { fs::remove_all(bundle / "Resources" / "Templates"); }},
    {"blio-source-missing", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) { fs::remove_all(scratch / "export"); }},
    {"blio-no-asset-list", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) { fs::remove(scratch / "export" / "AssetList.xml"); }},
    {"blio-xps-in-capitals", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) {
         fs::rename(scratch / "export" / "blio-book.xps", scratch / "export" / "blio-book.XPS");
         fs::create_directory(scratch / "export" / "folder.xps");
     }},
    {"blio-xps-not-an-archive", "examples/blio-book", "blio", "", "out/new/Book",
     [](const fs::path& scratch) { writeText(scratch / "export" / "blio-book.xps", "not an archive"); }},
    {"epub-workspace-blocked", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) { writeText(scratch / "tmp" / "TavrinEpubTemp", "a file where the workspace goes"); }},
    {"epub-stale-workspace", "examples/epub-book", "epub", "", "out/Book",
     [](const fs::path& scratch) { writeText(scratch / "tmp/TavrinEpubTemp/old/page", "an earlier run's"); }},
    {"blio-workspace-blocked", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) { writeText(scratch / "tmp" / "BlioTemp", "a file where the workspace goes"); }},
    {"blio-stale-workspace", "examples/blio-book", "blio", "", "out/Book",
     [](const fs::path& scratch) { writeText(scratch / "tmp" / "BlioTemp" / "leftover" / "old", "an earlier run's"); }},
};

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511627211ull;
    return hash;
}

bool isWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }
bool isLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "2026-12-08T11:22:33Z": the shape of a date the library stamps.
bool isTimestampAt(std::string_view text, std::size_t at) {
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() - at < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !isDigit(text[at + i]) : text[at + i] != shape[i]) return false;
    return true;
}

// The text with the test's folder, random names and timestamps masked.
std::string masked(std::string text, const std::string& folder) {
    for (std::size_t at; (at = text.find(folder)) != std::string::npos;) text.replace(at, folder.size(), "@FOLDER@");
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (isTimestampAt(text, at)) {
            out += "@TIME@";
            at += 20;
            continue;
        }
        std::size_t run = 0;
        while (at + run < text.size() && isLowerHex(text[at + run])) ++run;
        const bool bounded = (at == 0 || !isWordCharacter(text[at - 1])) &&
                             (at + run == text.size() || !isWordCharacter(text[at + run]));
        if (run == 12 && bounded) {
            out += "@RANDOM@";
            at += run;
        } else {
            const std::size_t copied = std::max<std::size_t>(run, 1);
            out.append(text, at, copied);
            at += copied;
        }
    }
    return out;
}

// A slideshow page lists its images in the order of their random names, so
// its run of image fragments is compared as a set.
std::string withFragmentsSorted(std::string text) {
    constexpr std::string_view open = "<a href=\"#\"><img src=\"";
    constexpr std::string_view close = "\" title=\"\" /></a>";
    const std::size_t first = text.find(open);
    if (first == std::string::npos) return text;
    std::vector<std::string> fragments;
    std::size_t at = first;
    while (text.compare(at, open.size(), open) == 0) {
        const std::size_t end = text.find(close, at);
        if (end == std::string::npos) break;
        fragments.push_back(text.substr(at, end + close.size() - at));
        at = end + close.size();
    }
    std::sort(fragments.begin(), fragments.end());
    std::string sorted;
    for (const std::string& fragment : fragments) sorted += fragment;
    return text.replace(first, at - first, sorted);
}

// Lists the library orders by the random names (media items in the package
// document) are compared as sets too: each run of lines naming one is sorted.
std::string withRandomLinesSorted(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream input(text);
    for (std::string line; std::getline(input, line);) lines.push_back(line);
    auto named = [](const std::string& line) { return line.find("@RANDOM@") != std::string::npos; };
    for (auto run = lines.begin(); run != lines.end();) {
        run = std::find_if(run, lines.end(), named);
        auto end = std::find_if_not(run, lines.end(), named);
        std::sort(run, end);
        run = end;
    }
    std::string sorted;
    for (const std::string& line : lines) sorted += line + "\n";
    return sorted;
}

struct DiscardArchive {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

// One line per entry, sorted, since masked random names change the order.
std::vector<std::string> archiveManifest(const fs::path& file, const std::string& prefix, const std::string& folder) {
    int error = 0;
    std::unique_ptr<zip_t, DiscardArchive> archive(zip_open(file.c_str(), ZIP_RDONLY, &error));
    if (!archive) return {prefix + " (not an archive)"};
    std::vector<std::string> lines;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_uint64_t index = 0; index < static_cast<zip_uint64_t>(count); ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        zip_stat_index(archive.get(), index, 0, &stat);
        std::string bytes(stat.size, '\0');
        zip_file_t* entry = zip_fopen_index(archive.get(), index, 0);
        const bool read = entry != nullptr && zip_fread(entry, bytes.data(), stat.size) == zip_int64_t(stat.size);
        if (entry != nullptr) zip_fclose(entry);
        const std::string content = withRandomLinesSorted(withFragmentsSorted(masked(bytes, folder)));
        std::ostringstream line;
        line << prefix << masked(stat.name, folder) << " method=" << stat.comp_method << " size=" << content.size()
             << " hash=" << std::hex << (read ? fnv1a(content) : 0);
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Every file below `root` but the copied bundle, packages listed entry by entry.
std::vector<std::string> folderManifest(const fs::path& root, const std::string& folder) {
    std::vector<std::string> lines;
    for (auto item = fs::recursive_directory_iterator(root); item != fs::recursive_directory_iterator(); ++item) {
        const std::string relative = masked(fs::relative(item->path(), root).string(), folder);
        if (relative == "bundle") item.disable_recursion_pending();
        if (!item->is_regular_file() || item->is_symlink()) continue;
        const std::string extension = item->path().extension().string();
        if (extension == ".xps" || extension == ".epub") {
            for (const std::string& line : archiveManifest(item->path(), relative + ":", folder)) lines.push_back(line);
            continue;
        }
        const std::string content = masked(readText(item->path()), folder);
        std::ostringstream line;
        line << relative << " size=" << content.size() << " hash=" << std::hex << fnv1a(content);
        if ((item->status().permissions() & fs::perms::owner_write) == fs::perms::none) line << " read-only";
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The corpus XPS document whose name holds `text`.
fs::path corpusXps(const std::string& text) {
    for (const auto& item : fs::directory_iterator(corpusDir() / "xps"))
        if (item.path().extension() == ".xps" && item.path().filename().string().find(text) != std::string::npos)
            return item.path();
    return corpusDir() / "xps" / text;
}

// The export the row starts from, copied to `to`.
void copySource(const std::string& source, const fs::path& to) {
    if (source.starts_with("xps:")) {
        copyExportFolder(sourceDir() / "examples/blio-book", to);
        fs::copy_file(corpusXps(source.substr(4)), to / "blio-book.xps", fs::copy_options::overwrite_existing);
        fs::permissions(to / "blio-book.xps", fs::perms::owner_write, fs::perm_options::add);
    } else if (source.starts_with("corpus:")) {
        copyExportFolder(corpusDir() / source.substr(7), to);
    } else {
        copyExportFolder(sourceDir() / source, to);
    }
}

// The command line that runs the row, loading a changed copy of the bundle
// when the row asks for one.
std::string commandLine(const GoldenCase& golden, const fs::path& scratch) {
    std::string command = shellQuote(cliPath()) + " " + golden.command + " " + shellQuote(scratch / "export") + " " +
                          shellQuote(golden.destination[0] == '/' ? fs::path(golden.destination)
                                                                  : scratch / golden.destination) +
                          " " + golden.options;
    if (golden.bundle == nullptr) return command;
    const fs::path bundle = scratch / "bundle";
    fs::copy(bundleDir(), bundle, fs::copy_options::recursive);
    golden.bundle(bundle);
    return "LD_LIBRARY_PATH=" + shellQuote(bundle) + " " + command;
}

class Golden : public ScratchTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, RunMatchesItsManifest) {
    const GoldenCase& golden = GetParam();
    copySource(golden.source, scratch / "export");
    if (golden.prepare != nullptr) golden.prepare(scratch);
    std::string output;
    const int status = runCommand(commandLine(golden, scratch), &output);

    std::ostringstream manifest;
    manifest << "exit " << status << ": " << masked(output, scratch.string());
    for (const std::string& line : folderManifest(scratch, scratch.string())) manifest << line << "\n";

    const fs::path expected = sourceDir() / "tests/golden/expected" / (std::string(golden.name) + ".txt");
    if (std::getenv("EBOOKPACK_GOLDEN_UPDATE") != nullptr) writeText(expected, manifest.str());
    EXPECT_EQ(manifest.str(), readText(expected)) << "the manifest of " << golden.name << " changed; rerun with "
                                                  << "EBOOKPACK_GOLDEN_UPDATE=1 and review the diff if it should";
}

INSTANTIATE_TEST_SUITE_P(Exports, Golden, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace packager::testing
