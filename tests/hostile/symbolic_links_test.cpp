// Export folders holding links to files and folders outside them, links that
// loop, and dangling links: the run finishes as usual, packages nothing the
// links lead to, and changes nothing outside the export.
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

}  // namespace
}  // namespace packager::testing
