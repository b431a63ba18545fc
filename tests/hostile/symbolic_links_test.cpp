// Export folders holding links to files and folders outside them, links that
// loop, dangling links, and FIFOs, sockets and devices: the run finishes as
// usual and in good time, packages nothing the links lead to, and changes
// nothing outside the export.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

#include "child_process.h"
#include "hostile_export.h"

namespace packager::testing {
namespace {

class SymbolicLinksTest : public HostileExportTest {
protected:
    // Links to the secret file, replacing what is there, plus a link to the
    // secret's folder, a folder loop, a self-referencing link and a dangling one
    // in every folder of `folders`.
    void plantLinks(const fs::path& root, const std::vector<std::string>& files, const std::vector<std::string>& folders) {
        for (const std::string& name : files) {
            fs::remove(root / name);
            fs::create_symlink(secretFile, root / name);
        }
        for (const std::string& name : folders) {
            const fs::path folder = root / name;
            fs::create_directory_symlink(secretFile.parent_path(), folder / "outside");
            fs::create_directory_symlink("..", folder / "loop");
            fs::create_symlink("self", folder / "self");
            fs::create_symlink(scratch / "gone", folder / "dangling.png");
        }
    }

    void expectSecretKept(const fs::path& package) {
        const std::string contents = packageContents(package);
        ASSERT_FALSE(contents.empty()) << "the package is missing or unreadable";
        EXPECT_EQ(contents.find(kSecret), std::string::npos);
        EXPECT_EQ(readText(secretFile), kSecret);
        EXPECT_EQ(std::distance(fs::directory_iterator(secretFile.parent_path()), fs::directory_iterator()), 1);
    }
};

TEST_F(SymbolicLinksTest, EpubPackagesNothingALinkLeadsTo) {
    // A link the asset list names is the user's choice, and is followed.
    fs::create_directories(scratch / "media");
    fs::rename(source / "assets" / "foghorn.mp3", scratch / "media" / "foghorn.mp3");
    fs::create_symlink(scratch / "media" / "foghorn.mp3", source / "assets" / "foghorn.mp3");
    plantLinks(source, {"OEBPS/Flow_9.xhtml", "OEBPS/book.css", "OEBPS/images/leak.png", "OEBPS/Metadata.xml"},
               {"OEBPS", "OEBPS/images", "assets"});
    EXPECT_EQ(packageBook(), 0u);
    expectSecretKept(book);
    EXPECT_NE(entryText(book, "OEBPS/Flow_0.xhtml"), "");  // the real pages are still there
    const std::vector<std::string> names = entryNames(book);
    EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.ends_with(".mp3"); }));
}

TEST_F(SymbolicLinksTest, BlioPackagesNothingALinkLeadsTo) {
    const fs::path blio = copyBlioExample();
    plantLinks(blio, {"Flow/flow_0002.xml", "Metadata.xml", "TableOfContents.xml", "CoverArt.jpg",
                      "Thumbnails/page-002.png", "assets/widget/leak.html", "assets/slides/slide3.png"},
               {"", "Flow", "Thumbnails", "assets/widget", "assets/slides"});
    EXPECT_EQ(packageBlioBook(blio), 0u);
    expectSecretKept(blioPackage);
    const std::vector<std::string> names = entryNames(blioPackage);
    EXPECT_NE(std::find(names.begin(), names.end(), "Documents/1/Other/KNFB/Flow/flow_0001.xml"), names.end());
}

// One item of the export, a folder or the XPS file, moved elsewhere and
// replaced by a link to it. Nothing below the link is the export's, so the
// run goes on as if the item were missing, and returns `code`.
struct LinkedItem {
    const char* name;
    bool blio;
    const char* item;  // relative to the export
    std::uint32_t code;
};

const LinkedItem kLinkedItems[] = {
    {"EpubImagesFolder", false, "OEBPS/images", 0},
    {"EpubOebpsFolder", false, "OEBPS", EBOOKPACKAGER_REFLOW_FOLDER_MISSING},
    {"BlioFlowFolder", true, "Flow", 0},
    {"BlioThumbnailsFolder", true, "Thumbnails", 0},
    // The asset list names these folders (or a page inside one), not what a
    // link in their place leads to.
    {"BlioSlideshowFolder", true, "assets/slides", 0},
    {"BlioEmbeddedPageFolder", true, "assets/widget", 0},
    {"BlioXpsFile", true, "blio-book.xps", EBOOKPACKAGER_XPS_MISSING},
};

void PrintTo(const LinkedItem& row, std::ostream* out) { *out << row.name; }

class LinkedItemTest : public SymbolicLinksTest, public ::testing::WithParamInterface<LinkedItem> {};

TEST_P(LinkedItemTest, WhatTheLinkLeadsToIsNeitherPackagedNorChanged) {
    const LinkedItem& row = GetParam();
    const fs::path exportFolder = row.blio ? copyBlioExample() : source;
    const fs::path package = row.blio ? blioPackage : book;
    const fs::path linked = exportFolder / row.item;
    const fs::path target = scratch / "elsewhere" / linked.filename();
    fs::create_directories(target.parent_path());
    fs::rename(linked, target);
    if (fs::is_directory(target)) {
        // Files every reader of that folder would take, an image included.
        writeText(target / "secret.xml", kSecret);
        fs::copy_file(sourceDir() / "examples" / "blio-book" / "Thumbnails" / "page-001.png", target / "secret.png");
        writeText(target / "secret.png", readText(target / "secret.png") + std::string(kSecret));
        fs::create_directory_symlink(target, linked);
    } else {
        fs::create_symlink(target, linked);
    }
    const auto before = snapshot(scratch / "elsewhere");

    EXPECT_EQ(row.blio ? packageBlioBook(exportFolder) : packageBook(), row.code);
    if (row.code == 0) expectSecretKept(package);
    else EXPECT_FALSE(fs::exists(package));
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_TRUE(snapshot(scratch / "elsewhere") == before);
}

INSTANTIATE_TEST_SUITE_P(BothEntryPoints, LinkedItemTest, ::testing::ValuesIn(kLinkedItems),
                         [](const auto& info) { return std::string(info.param.name); });

// FIFOs, sockets and devices in the places a run reads from, named by the asset
// list or lying in the export's folders. Opened for reading, a FIFO without a
// writer blocks for good, and /dev/zero never ends; so the run is a child that
// must end in good time.
struct SpecialFile {
    const char* name;
    mode_t mode;
    dev_t device;
    fs::file_type type;
};

const SpecialFile kSpecialFiles[] = {
    {"Fifo", S_IFIFO, 0, fs::file_type::fifo},
    {"Socket", S_IFSOCK, 0, fs::file_type::socket},
    {"ZeroDevice", S_IFCHR, makedev(1, 5), fs::file_type::character},
};

void PrintTo(const SpecialFile& file, std::ostream* out) { *out << file.name; }

const std::vector<std::string> kBlioPlaces = {
    "a-first.xps", "Flow/flow_0002.xml", "Thumbnails/page-002.png", "TableOfContents.xml", "assets/slides/slide3.png",
    "assets/video/clip.mp4", "assets/video/poster.jpg", "assets/widget/index.html"};
const std::vector<std::string> kEpubPlaces = {
    "OEBPS/Flow_9.xhtml", "OEBPS/book.css", "OEBPS/images/leak.png", "OEBPS/images/cover.jpg",
    "OEBPS/toc.ncx", "OEBPS/nav.xhtml", "OEBPS/Metadata.xml", "assets/foghorn.mp3"};

class SpecialFilesTest : public HostileExportTest, public ::testing::WithParamInterface<std::tuple<SpecialFile, bool>> {};

TEST_P(SpecialFilesTest, AreSkippedWithoutBlocking) {
    const auto& [special, blio] = GetParam();
    const fs::path exportFolder = blio ? copyBlioExample() : source;
    const std::vector<std::string>& places = blio ? kBlioPlaces : kEpubPlaces;
    for (const std::string& place : places) {
        fs::remove(exportFolder / place);
        if (::mknod((exportFolder / place).c_str(), special.mode | 0600, special.device) != 0) {
            if (errno == EPERM) GTEST_SKIP() << "making a device needs the right to";
            FAIL() << place << ": " << std::strerror(errno);
        }
    }

    const fs::path package = blio ? blioPackage : book;
    std::optional<ChildProcess> run = ChildProcess::start(
        cliPath(), {blio ? "blio" : "epub", exportFolder.string(), package.string()}, scratch / "run.log");
    ASSERT_TRUE(run);
    const ChildOutcome outcome = run->wait(std::chrono::seconds(60));
    ASSERT_FALSE(outcome.timedOut) << "the run blocked";
    EXPECT_TRUE(outcome.exited && outcome.code == 0) << readText(scratch / "run.log");
    EXPECT_FALSE(packageContents(package).empty());
    for (const std::string& place : places)
        EXPECT_EQ(fs::symlink_status(exportFolder / place).type(), special.type) << place;
}

INSTANTIATE_TEST_SUITE_P(BothEntryPoints, SpecialFilesTest, ::testing::Combine(::testing::ValuesIn(kSpecialFiles), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "Blio" : "Epub");
                         });

}  // namespace
}  // namespace packager::testing
