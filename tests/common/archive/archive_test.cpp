#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/archive/archive.h"
#include "scratch.h"

namespace packager::archive {
namespace {

using namespace packager::testing;
using Names = std::vector<std::string>;

struct Listed {
    std::string name, method, compressedSize;
    bool operator==(const Listed&) const = default;
};

// The central directory as zipinfo reports it, folder entries included.
std::vector<Listed> listing(const fs::path& archive) {
    std::string output;
    EXPECT_EQ(runCommand("zipinfo -l " + shellQuote(archive), &output), 0) << output;
    std::vector<Listed> entries;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || (line[0] != '-' && line[0] != 'd')) continue;
        std::istringstream fields(line);
        std::string skip, compressed, method, name;
        fields >> skip >> skip >> skip >> skip >> skip >> compressed >> method >> skip >> skip >> name;
        entries.push_back({name, method, compressed});
    }
    return entries;
}

fs::path corpusFile(const char* name = "wpf-chocolate-4p-png-odttf.xps") { return corpusDir() / "xps" / name; }

mode_t modeOf(const fs::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 07777;
}

class ArchiveTest : public ScratchTest {
protected:
    fs::path input(const std::string& name, std::string_view text) {
        writeText(scratch / "in" / name, text);
        return scratch / "in" / name;
    }
    static Names contents(const fs::path& folder) {
        Names names;
        for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ArchiveTest, WritesStoredEntriesInOrderWithoutExtraFields) {
    const std::string png("\x89PNG\0\r\n", 7);
    std::vector<Entry> entries = {{"mimetype", input("m", "application/epub+zip")},
                                  {"OEBPS/content.opf", input("c", "<package/>")},
                                  {"OEBPS/images/a.png", input("a", png)}};
    fs::path book = scratch / "out" / "book.epub";
    fs::create_directories(book.parent_path());
    const mode_t savedMask = ::umask(022);
    const bool written = writeStoredArchive(book, entries);
    ::umask(savedMask);
    ASSERT_TRUE(written);

    // Readers expect the media type at a fixed offset: no extra field before it.
    std::string bytes = readText(book);
    EXPECT_EQ(bytes.substr(26, 32), std::string("\x08\0\0\0", 4) + "mimetypeapplication/epub+zip");
    EXPECT_EQ(listing(book), (std::vector<Listed>{
                                 {"mimetype", "stor", "20"}, {"OEBPS/content.opf", "stor", "10"}, {"OEBPS/images/a.png", "stor", "7"}}));
    std::string zeroExtras;
    runCommand("zipinfo -v " + shellQuote(book) + " | grep -c 'length of extra field: *0 bytes'", &zeroExtras);
    EXPECT_EQ(zeroExtras, "3\n");
    EXPECT_EQ(Archive::open(book)->read("OEBPS/images/a.png"), png);
    EXPECT_EQ(modeOf(book), 0644u);
    EXPECT_EQ(contents(book.parent_path()), Names{"book.epub"});

    // A failure keeps what was there and leaves no temporary file behind.
    writeText(book, "previous");
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], {"gone", scratch / "missing"}}));
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], entries[0]}));
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], {"folder/", entries[1].file}}));
    EXPECT_EQ(readText(book), "previous");
    EXPECT_EQ(contents(book.parent_path()), Names{"book.epub"});

    ASSERT_TRUE(writeStoredArchive(book, {}));
    EXPECT_TRUE(Archive::open(book)->entryNames().empty());
}

TEST(ArchivePattern, FollowsZipWildcards) {
    const std::string manyA(60, 'a');
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"\\[Content_Types\\].xml/*.*", "[Content_Types].xml/[0].piece", true},
        {"[Content_Types].xml", "[Content_Types].xml", false},  // a one-character set
        {"Resources/*.*", "Resources/a/b.png", true},
        {"Resources/*.*", "Resources/noext", false},
        {"Documents/1/Pages/*.*", "Documents/1/Pages/_rels/1.fpage.rels", true},
        {"*.odttf", "A.ODTTF", false},
        {"page?.xml", "page10.xml", false},
        {"a?b", "a/b", true},
        {"img[0-9].png", "img7.png", true},
        {"img[!0-9].png", "img7.png", false},
        {"img[^0-9].png", "imgx.png", true},
        {"[]x]", "]", true},
        {"a[b", "a[b", true},  // an unclosed set is literal
        {"*a*a*a*a*b", manyA.c_str(), false},
        {"*", "", true},
    };
    for (const auto& c : cases) EXPECT_EQ(matchesPattern(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

TEST_F(ArchiveTest, ExtractNeverWritesOutsideTheFolder) {
    fs::path data = input("data", "new"), zip = scratch / "evil.zip";
    ASSERT_TRUE(writeStoredArchive(zip, {{"../x", data}, {"/tmp/x", data}, {"a\\b", data}, {"a/../../x", data},
                                         {"linked/x", data}, {"leaf", data}, {"ok/one", data}, {"two", data}}));
    fs::path target = scratch / "target", outside = scratch / "outside";
    writeText(outside / "leaf", "outside");
    writeText(target / "two", "old");
    fs::create_directory_symlink(outside, target / "linked");
    fs::create_symlink(outside / "leaf", target / "leaf");

    EXPECT_EQ(Archive::open(zip)->extract({"*"}, target), (Names{"leaf", "ok/one", "two"}));
    EXPECT_EQ(contents(outside), Names{"leaf"});
    EXPECT_EQ(readText(outside / "leaf"), "outside");
    EXPECT_FALSE(fs::is_symlink(target / "leaf"));  // the link is replaced, not written through
    EXPECT_EQ(readText(target / "leaf"), "new");
    EXPECT_EQ(readText(target / "two"), "new");
    EXPECT_FALSE(fs::exists(scratch / "x"));
    EXPECT_EQ(contents(target), (Names{"leaf", "linked", "ok", "two"}));
    EXPECT_TRUE(isSafeEntryName("a/..b/c.."));
}

TEST_F(ArchiveTest, RefusesToInflateBombs) {
    std::string lines;
    for (int i = 0; i < 50'000; ++i) lines += std::to_string(i) + "\n";
    writeText(scratch / "zeros", std::string(20'000'000, '\0'));
    writeText(scratch / "empty", "");
    writeText(scratch / "lines", lines);
    ASSERT_EQ(runCommand("cd " + shellQuote(scratch) + " && zip -q -9 bomb.zip zeros empty lines && zip -q liar.zip lines"), 0);
    // The liar declares a fraction of its real size, in both headers.
    std::string bytes = readText(scratch / "liar.zip");
    for (auto [signature, offset] : {std::pair{"PK\3\4", 22}, std::pair{"PK\1\2", 24}})
        bytes.replace(bytes.find(signature) + offset, 4, std::string{'\x10', '\x10', 0, 0});
    writeText(scratch / "liar.zip", bytes);

    auto bomb = Archive::open(scratch / "bomb.zip");
    EXPECT_EQ(bomb->extract({"*"}, scratch / "out"), (Names{"empty", "lines"}));
    EXPECT_EQ(contents(scratch / "out"), (Names{"empty", "lines"}));
    EXPECT_FALSE(bomb->read("zeros"));
    // Its data must be cut off at the declared size, not after inflating it
    // all: past 64 KiB of output the kernel would kill the child.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{64 << 10, 64 << 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        auto liar = Archive::open(scratch / "liar.zip");
        _exit(liar && liar->extract({"*"}, scratch / "liar").empty() && !liar->read("lines") ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(contents(scratch / "liar").empty());
}

TEST_F(ArchiveTest, OpenFailsForDamagedFilesAndLeavesThemAlone) {
    std::string corpus = readText(corpusFile());
    const std::pair<const char*, std::string> files[] = {{"half", corpus.substr(0, corpus.size() / 2)},
                                                         {"tail-cut", corpus.substr(0, corpus.size() - 10)},
                                                         {"text", "<FixedDocumentSequence/>"},
                                                         {"empty", ""}};
    for (const auto& [name, bytes] : files) {
        writeText(scratch / name, bytes);
        EXPECT_FALSE(Archive::open(scratch / name)) << name;
        EXPECT_EQ(readText(scratch / name), bytes) << name;
    }
    EXPECT_FALSE(Archive::open(scratch / "missing"));
    EXPECT_FALSE(fs::exists(scratch / "missing"));
}

TEST_F(ArchiveTest, ReadsEveryCorpusEntryAndExtractsInterleavedParts) {
    for (const auto& item : fs::directory_iterator(corpusDir() / "xps")) {
        if (item.path().extension() != ".xps") continue;
        auto archive = Archive::open(item.path());
        ASSERT_TRUE(archive) << item.path();
        Names expected;
        for (const Listed& entry : listing(item.path())) expected.push_back(entry.name);
        EXPECT_EQ(archive->entryNames(), expected) << item.path();
        for (const std::string& name : expected) EXPECT_TRUE(name.ends_with('/') || archive->read(name)) << item.path() << ": " << name;
    }
    // Data descriptors, and a content-types part split into pieces.
    auto archive = Archive::open(corpusFile("pdfsharpxps-crop-example-interleaved-1p-png.xps"));
    auto pieces = archive->extract({"\\[Content_Types\\].xml/*.*"}, scratch / "out");
    EXPECT_EQ(pieces.size(), 16u);
    for (const std::string& piece : pieces) EXPECT_EQ(readText(scratch / "out" / piece), archive->read(piece)) << piece;
}

TEST_F(ArchiveTest, UpdateDeletesReplacesAndAppends) {
    fs::path copy = scratch / "book.xps";
    fs::copy_file(corpusFile(), copy);
    ::chmod(copy.c_str(), 0640);
    std::vector<Listed> before = listing(copy);
    const std::string font = before[4].name;
    ASSERT_TRUE(font.ends_with(".ODTTF")) << font;

    auto archive = Archive::open(copy);
    archive->remove({"*.ODTTF", "Documents/1/Pages/_rels/*"});
    EXPECT_TRUE(archive->addFile("Metadata/new.xml", input("new", "<new/>")));
    EXPECT_TRUE(archive->addFile("[Content_Types].xml", input("types", "<Types/>")));
    EXPECT_TRUE(archive->addFile(font, input("font", "again")));
    EXPECT_FALSE(archive->addFile("missing", scratch / "missing"));
    ASSERT_TRUE(archive->commit());

    std::vector<Listed> expected;
    for (const Listed& entry : before) {
        if (entry.name == "[Content_Types].xml") expected.push_back({entry.name, "stor", "8"});  // in place
        else if (!entry.name.ends_with(".ODTTF") && !entry.name.starts_with("Documents/1/Pages/_rels/")) expected.push_back(entry);
    }
    expected.push_back({"Metadata/new.xml", "stor", "6"});
    expected.push_back({font, "stor", "5"});
    EXPECT_EQ(listing(copy), expected);  // untouched entries keep their compressed form
    EXPECT_EQ(runCommand("unzip -tq " + shellQuote(copy)), 0);
    EXPECT_EQ(Archive::open(copy)->read("Documents/1/Pages/1.fpage"), Archive::open(corpusFile())->read("Documents/1/Pages/1.fpage"));
    EXPECT_EQ(modeOf(copy), 0640u);
}

TEST_F(ArchiveTest, FailedOrAbandonedUpdateLeavesTheFileAsItWas) {
    fs::path copy = scratch / "book.xps";
    fs::copy_file(corpusFile(), copy);
    const std::string before = readText(copy);
    {
        auto archive = Archive::open(copy);
        archive->remove({"*"});
        EXPECT_TRUE(archive->addFile("new", input("new", "data")));
    }  // dropped without commit
    {
        auto archive = Archive::open(copy);
        EXPECT_TRUE(archive->addFile("vanishing", input("vanishing", "data")));
        fs::remove(scratch / "in" / "vanishing");
        EXPECT_FALSE(archive->commit());
        EXPECT_FALSE(archive->commit());
    }
    {
        auto archive = Archive::open(copy);
        archive->remove({"*"});
        EXPECT_FALSE(archive->commit());  // would delete the file
    }
    EXPECT_EQ(readText(copy), before);
    EXPECT_EQ(contents(scratch), (Names{"book.xps", "in", "tmp"}));
}

TEST_F(ArchiveTest, KilledCommitLeavesOriginalOrCompleteUpdateAndNothingElse) {
    fs::path copy = scratch / "book.xps";
    fs::copy_file(corpusFile(), copy);
    const std::string before = readText(copy);
    std::string big(24 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
    fs::path bigFile = input("big", big);

    for (int delayMs : {0, 1, 3, 6, 10, 20, 40, 80}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto archive = Archive::open(copy);
            _exit(archive && archive->addFile("big.bin", bigFile) && archive->commit() ? 0 : 1);
        }
        ::usleep(delayMs * 1000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        EXPECT_EQ(contents(scratch), (Names{"book.xps", "in", "tmp"})) << "after " << delayMs << " ms";
        if (readText(copy) == before) continue;
        auto archive = Archive::open(copy);
        ASSERT_TRUE(archive) << "after " << delayMs << " ms";
        EXPECT_EQ(archive->read("big.bin"), big) << "after " << delayMs << " ms";
        fs::copy_file(corpusFile(), copy, fs::copy_options::overwrite_existing);
    }
}

}  // namespace
}  // namespace packager::archive
