// Golden packages: each example and corpus export is packaged through the
// command line (and so through the C interface) with each option set that
// changes the output, and a manifest of the package and of the export folder
// afterwards is compared with the one checked in under tests/golden/expected.
// A refactoring that changes no output leaves every manifest as it was.
//
// The manifest lists each entry's name, compression method, size and a hash
// of its bytes. Names the library draws at random (12 hexadecimal digits),
// the dates it stamps and the test's own folder are masked first, in names
// and contents alike. EBOOKPACK_GOLDEN_UPDATE=1 rewrites the expected files.
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

namespace packager::testing {
namespace {

struct GoldenCase {
    const char* name;
    const char* source;  // relative to the repository, or to the corpus with "corpus:"
    const char* command;  // "epub" or "blio"
    const char* options;
};

const GoldenCase kCases[] = {
    {"epub-book-epub3", "examples/epub-book", "epub", ""},
    {"epub-book-epub2", "examples/epub-book", "epub", "--epub-version 2"},
    {"epub-book-epub3-fixed-landscape-spread-right", "examples/epub-book", "epub",
     "--fixed-layout --orientation landscape --spread right --page-size 768x1024"},
    {"epub-book-epub2-fixed", "examples/epub-book", "epub", "--epub-version 2 --fixed-layout"},
    {"minimal-epub3", "corpus:export/minimal", "epub", ""},
    {"sierra-epub3", "corpus:export/sierra", "epub", ""},
    {"sierra-epub3-fixed-spread-none", "corpus:export/sierra", "epub", "--fixed-layout --spread none"},
    {"sierra-epub2", "corpus:export/sierra", "epub", "--epub-version 2"},
    {"blio-book", "examples/blio-book", "blio", ""},
    {"book1-blio", "corpus:blio-export/book1", "blio", ""},
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

// The export folder after the run: its packages listed entry by entry.
std::vector<std::string> folderManifest(const fs::path& root, const std::string& folder) {
    std::vector<std::string> lines;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        const std::string relative = "export/" + masked(fs::relative(item.path(), root).string(), folder);
        const std::string extension = item.path().extension().string();
        if (extension == ".xps" || extension == ".epub") {
            for (const std::string& line : archiveManifest(item.path(), relative + ":", folder)) lines.push_back(line);
            continue;
        }
        const std::string content = masked(readText(item.path()), folder);
        std::ostringstream line;
        line << relative << " size=" << content.size() << " hash=" << std::hex << fnv1a(content);
        lines.push_back(line.str());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Golden : public ScratchTest, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, PackageAndExportMatchTheirManifest) {
    const GoldenCase& golden = GetParam();
    const std::string source = golden.source;
    const fs::path original =
        source.starts_with("corpus:") ? corpusDir() / source.substr(7) : sourceDir() / source;
    const fs::path exported = copyExportFolder(original, scratch / "export");
    const fs::path destination = scratch / "out" / "Book";
    std::string output;
    ASSERT_EQ(runCommand(shellQuote(cliPath()) + " " + golden.command + " " + shellQuote(exported) + " " +
                             shellQuote(destination) + " " + golden.options,
                         &output),
              0)
        << output;

    const std::string package = destination.string() + (std::string(golden.command) == "epub" ? ".epub" : ".xps");
    std::ostringstream manifest;
    for (const std::string& line : archiveManifest(package, "package:", scratch.string())) manifest << line << "\n";
    for (const std::string& line : folderManifest(exported, scratch.string())) manifest << line << "\n";

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
