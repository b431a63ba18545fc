#include <gtest/gtest.h>

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
    std::string output, skip;
    EXPECT_EQ(runCommand("zipinfo -l " + shellQuote(archive), &output), 0) << output;
    std::vector<Listed> entries;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || (line[0] != '-' && line[0] != 'd')) continue;
        Listed entry;
        std::istringstream(line) >> skip >> skip >> skip >> skip >> skip >> entry.compressedSize >> entry.method >> skip >>
            skip >> entry.name;
        entries.push_back(entry);
    }
    return entries;
}

fs::path corpusFile(const char* name = "wpf-chocolate-4p-png-odttf.xps") { return corpusDir() / "xps" / name; }

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
    fs::path corpusCopy() {
        fs::copy_file(corpusFile(), scratch / "book.xps");
        return scratch / "book.xps";
    }
};

TEST_F(ArchiveTest, WritesStoredEntriesInOrderMimetypeAtAFixedOffset) {
    const std::string png("\x89PNG\0\r\n", 7);
    std::vector<Entry> entries = {{"mimetype", input("m", "application/epub+zip")},
                                  {"OEBPS/content.opf", input("c", "<package/>")},
                                  {"OEBPS/images/a.png", input("a", png)}};
    fs::path book = scratch / "book.epub";
    ASSERT_TRUE(writeStoredArchive(book, entries));

    // Readers expect the media type at a fixed offset: no extra field before it.
    EXPECT_EQ(readText(book).substr(26, 32), std::string("\x08\0\0\0", 4) + "mimetypeapplication/epub+zip");
    EXPECT_EQ(listing(book), (std::vector<Listed>{
                                 {"mimetype", "stor", "20"}, {"OEBPS/content.opf", "stor", "10"}, {"OEBPS/images/a.png", "stor", "7"}}));
    EXPECT_EQ(Archive::open(book)->read("OEBPS/images/a.png"), png);

    // A failure keeps what was there and leaves no temporary file behind.
    writeText(book, "previous");
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], {"gone", scratch / "missing"}}));
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], entries[0]}));
    EXPECT_FALSE(writeStoredArchive(book, {entries[0], {"folder/", entries[1].file}}));
    EXPECT_EQ(readText(book), "previous");
    EXPECT_EQ(contents(scratch), (Names{"book.epub", "in", "tmp"}));
}

TEST(ArchivePattern, FollowsZipWildcards) {
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"\\[Content_Types\\].xml/*.*", "[Content_Types].xml/[0].piece", true},
        {"[Content_Types].xml", "[Content_Types].xml", false},  // a one-character set
        {"Resources/*.*", "Resources/a/b.png", true},
        {"*.odttf", "A.ODTTF", false},
        {"a[!b]c[d", "axc[d", true},  // a negated set, then an unclosed one, which is literal
        {"*a*a*a*a*b", std::string(60, 'a'), false},  // must not backtrack exponentially
    };
    for (const auto& [pattern, name, matches] : cases) EXPECT_EQ(matchesPattern(pattern, name), matches) << pattern << " vs " << name;
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

// Deflated entries are inflated whole, stored ones streamed: both must give
// the same bytes, and both must refuse data whose CRC does not match.
TEST_F(ArchiveTest, StoredAndDeflatedEntriesGiveTheSameBytesOrNone) {
    std::string lines;
    for (int i = 0; i < 50'000; ++i) lines += std::to_string(i) + "\n";
    writeText(scratch / "lines", lines);
    ASSERT_EQ(runCommand("cd " + shellQuote(scratch) + " && zip -q -0 stored.zip lines && zip -q -9 deflated.zip lines"), 0);
    for (const char* zip : {"stored.zip", "deflated.zip"}) {
        SCOPED_TRACE(zip);
        EXPECT_EQ(Archive::open(scratch / zip)->read("lines"), lines);
        EXPECT_EQ(Archive::open(scratch / zip)->extract({"*"}, scratch / "out"), Names{"lines"});
        EXPECT_EQ(readText(scratch / "out" / "lines"), lines);
        fs::remove_all(scratch / "out");

        std::string bytes = readText(scratch / zip);  // the CRC, in both headers
        for (auto [signature, offset] : {std::pair{"PK\3\4", 14}, std::pair{"PK\1\2", 16}}) bytes[bytes.find(signature) + offset] ^= 1;
        writeText(scratch / zip, bytes);
        EXPECT_FALSE(Archive::open(scratch / zip)->read("lines"));
        EXPECT_TRUE(Archive::open(scratch / zip)->extract({"*"}, scratch / "out").empty());
        EXPECT_TRUE(contents(scratch / "out").empty());
    }
}

TEST_F(ArchiveTest, UpdateDeletesReplacesAndAppends) {
    fs::path copy = corpusCopy();
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
    struct stat info {};
    ::stat(copy.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(ArchiveTest, FailedOrAbandonedUpdateLeavesTheFileAsItWas) {
    fs::path copy = corpusCopy();
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
    }
    {
        auto archive = Archive::open(copy);
        archive->remove({"*"});
        EXPECT_FALSE(archive->commit());  // would delete the file
    }
    EXPECT_EQ(readText(copy), before);
    EXPECT_EQ(contents(scratch), (Names{"book.xps", "in", "tmp"}));
}

}  // namespace
}  // namespace packager::archive
