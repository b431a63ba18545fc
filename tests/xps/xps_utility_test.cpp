#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "child_process.h"
#include "common/xml/xml.h"
#include "xps_fixture.h"

namespace packager {
namespace {

using namespace packager::testing;

const Entries addedFiles = {
    {"Documents/1/Other/KNFB/Metadata.xml", "<Metadata/>"},
    {"Documents/1/Other/KNFB/EnhancedContent/VideoAssets/a1b2c3/Viewer.html", "<html></html>"},
};
const std::vector<std::string> addedTypes = {"xml", "html", "png", "png", "tif"};

bool isJpeg(const std::string& bytes) { return bytes.starts_with("\xFF\xD8\xFF"); }
bool isPng(const std::string& bytes) { return bytes.starts_with("\x89PNG"); }

// The checks every successful update must pass, whatever the package.
void expectConsistentUpdate(const fs::path& originalFile, const fs::path& updatedFile, const Entries& added) {
    const Entries original = readEntries(originalFile), updated = readEntries(updatedFile);
    ASSERT_FALSE(updated.empty());
    const Rendering before = render(originalFile), after = render(updatedFile);
    EXPECT_TRUE(after.clean) << after.output;
    EXPECT_EQ(after.pages, before.pages);
    EXPECT_GT(after.pages, 0);
    for (const auto& [name, bytes] : updated) EXPECT_FALSE(isTiffEntry(name)) << name;
    EXPECT_EQ(contentTypes(updatedFile).find("image/tiff"), std::string::npos);
    EXPECT_EQ(untypedParts(updatedFile), std::vector<std::string>{});
    for (const auto& [name, bytes] : added) {
        auto entry = updated.find(name);
        ASSERT_NE(entry, updated.end()) << name;
        EXPECT_EQ(entry->second, bytes) << name;
    }
    const bool converted = std::ranges::any_of(original, [](const auto& entry) { return isTiffEntry(entry.first); });
    for (const auto& [name, bytes] : original) {
        if (isTiffEntry(name) || name.starts_with("[Content_Types].xml/")) continue;  // converted or renumbered
        auto entry = updated.find(name);
        ASSERT_NE(entry, updated.end()) << name << " was lost";
        if (entry->second == bytes || added.contains(name)) continue;
        const bool mayChange = name.starts_with("[Content_Types].xml") ||
                               (converted && (name.ends_with(".fpage") || name.ends_with(".rels")));
        EXPECT_TRUE(mayChange) << name << " was rewritten";
    }
}

class XpsUpdateTest : public ScratchTest {
protected:
    fs::path copyOf(const fs::path& original) {
        const fs::path copy = scratch / original.filename();
        fs::copy_file(original, copy, fs::copy_options::overwrite_existing);
        return copy;
    }
    fs::path write(const std::string& name, const Entries& entries) {
        const fs::path xps = scratch / name;
        writeDeflated(xps, entries, scratch);
        return xps;
    }
};

TEST_F(XpsUpdateTest, EveryCorpusPackageStaysRenderableWithTheAddedFiles) {
    for (const auto& item : fs::directory_iterator(corpusDir() / "xps")) {
        if (item.path().extension() != ".xps") continue;
        SCOPED_TRACE(item.path().filename().string());
        const fs::path xps = copyOf(item.path());
        ASSERT_TRUE(compress(xps, addedFiles, addedTypes, scratch));
        expectConsistentUpdate(item.path(), xps, addedFiles);
    }
}

TEST_F(XpsUpdateTest, RealTiffsWithAlphaAllBecomePngDeclaredAsSuch) {
    const fs::path original = corpusDir() / "xps" / "aspose-sample1-1p-tiff-alpha-jpg-icc.xps";
    const fs::path xps = copyOf(original);
    ASSERT_TRUE(compress(xps, {}, {}, scratch));
    const Entries updated = readEntries(xps);
    EXPECT_TRUE(isPng(updated.at("Resources/QL_logo_color.png")));
    EXPECT_TRUE(isPng(updated.at("Resources/R08SY_NN.png")));
    EXPECT_EQ(updated.at("Resources/R08LN_NN.jpg"), readEntries(original).at("Resources/R08LN_NN.jpg"));
    const std::string types = contentTypes(xps);
    EXPECT_NE(types.find("PartName=\"/Resources/R08SY_NN.png\" ContentType=\"image/png\""), std::string::npos) << types;
    EXPECT_NE(types.find("PartName=\"/Resources/QL_logo_color.png\" ContentType=\"image/png\""), std::string::npos);
    expectConsistentUpdate(original, xps, {});
}

struct Variant {
    const char* corpusFile;
    std::string from, to;
    bool alpha;
    std::string declaration;
    std::string expectedName;
    std::string spelled;  // how the parts name the TIFF, when not as its entry
};

TEST_F(XpsUpdateTest, TiffVariantsOfRealPackagesAreConvertedAndRenamed) {
    const std::vector<Variant> variants = {
        // Referenced from a resource dictionary and relative .rels targets, declared by a Default.
        {"wpf-chocolate-4p-png-odttf.xps", "", "", true, "<Default Extension=\"tif\" ContentType=\"image/tiff\" />", ".png", ""},
        {"wpf-chocolate-4p-png-odttf.xps", "", "", false, "<Default Extension=\"tif\" ContentType=\"image/tiff\" />", ".jpg", ""},
        // UTF-16LE page, declared by an Override.
        {"tika-various-1p-png-jpg-utf16.xps", "Resources/Images/image_0.png", "Resources/image_0.tif", false,
         "<Override PartName=\"/Resources/image_0.tif\" ContentType=\"image/tiff\"/>", "Resources/image_0.jpg", ""},
        // Named and declared in other cases than its entry's, as package readers allow.
        {"tika-various-1p-png-jpg-utf16.xps", "Resources/Images/image_0.png", "Resources/Image_0.tif", false,
         "<Override PartName=\"/RESOURCES/image_0.TIF\" ContentType=\"image/tiff\"/>", "Resources/Image_0.jpg",
         "resources/IMAGE_0.tif"},
    };
    for (Variant variant : variants) {
        const fs::path original = corpusDir() / "xps" / variant.corpusFile;
        if (variant.from.empty()) {
            const Entries entries = readEntries(original);
            auto png = std::ranges::find_if(entries, [](const auto& e) { return e.first.starts_with("Resources/") && e.first.ends_with(".png"); });
            ASSERT_NE(png, entries.end());
            variant.from = png->first;
            variant.to = variant.from.substr(0, variant.from.size() - 4) + ".tif";
            variant.expectedName = variant.from.substr(0, variant.from.size() - 4) + variant.expectedName;
        }
        SCOPED_TRACE(variant.to + (variant.alpha ? " with alpha" : " opaque"));
        const fs::path xps = scratch / "variant.xps";
        makeTiffVariant(original, xps, variant.from, variant.to, variant.alpha, variant.declaration, variant.spelled);
        const fs::path before = scratch / "variant-before.xps";
        fs::copy_file(xps, before, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(render(before).clean);

        ASSERT_TRUE(compress(xps, addedFiles, addedTypes, scratch));
        const Entries updated = readEntries(xps);
        ASSERT_TRUE(updated.contains(variant.expectedName));
        EXPECT_TRUE(variant.alpha ? isPng(updated.at(variant.expectedName)) : isJpeg(updated.at(variant.expectedName)));
        expectConsistentUpdate(before, xps, addedFiles);
        const std::string newName = variant.expectedName.substr(variant.expectedName.rfind('/') + 1);
        for (const auto& [name, bytes] : updated) {
            if (!name.ends_with(".fpage")) continue;
            const std::string reference = lower("/Resources/" + newName);
            if (bytes.starts_with("\xFF\xFE")) {
                EXPECT_NE(lower(bytes).find(utf16le(reference)), std::string::npos) << name;
            }
        }
        // The converted image has a content type, through an Override or a Default.
        const std::string types = lower(contentTypes(xps));
        const std::string extension = variant.alpha ? "png" : "jpg";
        EXPECT_TRUE(types.find("extension=\"" + extension + "\"") != std::string::npos ||
                    types.find(lower("/" + variant.expectedName) + "\" contenttype=\"image/") != std::string::npos)
            << types;
    }
}

TEST_F(XpsUpdateTest, DamagedInputsAreRefusedOrKeptWhileTheRestIsUpdated) {
    // Not an archive, truncated, empty: refused, file untouched.
    const fs::path notZip = scratch / "text.xps";
    writeText(notZip, "just some text, not a package");
    const std::string real = readText(corpusDir() / "xps" / "wpf-chocolate-4p-png-odttf.xps");
    const fs::path truncated = scratch / "truncated.xps";
    writeText(truncated, real.substr(0, real.size() / 2));
    const fs::path empty = scratch / "empty.xps";
    writeText(empty, "");
    for (const fs::path& bad : {notZip, truncated, empty, scratch / "missing.xps"}) {
        const std::string before = fs::exists(bad) ? readText(bad) : "";
        EXPECT_FALSE(compress(bad, addedFiles, addedTypes, scratch)) << bad;
        EXPECT_EQ(fs::exists(bad) ? readText(bad) : "", before) << bad;
    }

    // A file handed in that cannot be staged: refused, file untouched.
    const std::string good = photoTiff(scratch);
    const fs::path handedIn = write("handed-in.xps", miniXps({{"a.tif", good}}));
    const std::string handedInBefore = readText(handedIn);
    XpsUtility utility = XpsUtility::initWithXpsFile(handedIn, 0.7f, {scratch / "staging", {}});
    EXPECT_FALSE(utility.addFile(scratch / "missing.xml", "Documents/1/Other/KNFB/Metadata.xml"));
    EXPECT_FALSE(utility.compressXps());
    EXPECT_EQ(readText(handedIn), handedInBefore);

    // TIFFs that cannot be decoded, or declare more pixels than may be
    // decoded, stay as they were with their references and declarations; the
    // good one is converted, and the package shrinks.
    std::string cutShort = good.substr(0, good.size() / 2);
    const fs::path tiled = scratch / "tiled.tif";
    writeText(scratch / "good.tif", good);
    ASSERT_EQ(runCommand("vips tiffsave " + shellQuote(scratch / "good.tif") + " " + shellQuote(tiled) +
                         " --tile --compression deflate"),
              0);
    std::string damagedTile = readText(tiled);
    for (std::size_t at = damagedTile.size() / 2; at < damagedTile.size() / 2 + 4096; ++at) damagedTile[at] = '\x55';
    const Entries images = {{"good.tif", good}, {"short.tif", cutShort}, {"tile.tif", damagedTile},
                            {"noise.tif", std::string("II*\0garbage", 11)}, {"huge.tif", blankG4Tiff(60000, 60000)}};
    const fs::path xps = write("damaged-tiffs.xps", miniXps(images));
    const auto sizeBefore = fs::file_size(xps);
    ASSERT_TRUE(compress(xps, {}, {}, scratch));
    EXPECT_LT(fs::file_size(xps), sizeBefore);
    const Entries updated = readEntries(xps);
    EXPECT_TRUE(isJpeg(updated.at("Resources/good.jpg")));
    EXPECT_FALSE(updated.contains("Resources/good.tif"));
    const std::string types = contentTypes(xps);
    EXPECT_NE(types.find("/Resources/good.jpg\" ContentType=\"image/jpeg\""), std::string::npos) << types;
    for (const char* kept : {"short.tif", "tile.tif", "noise.tif", "huge.tif"}) {
        EXPECT_EQ(updated.at(std::string("Resources/") + kept), images.at(kept)) << kept;
        EXPECT_NE(types.find(std::string("/Resources/") + kept + "\" ContentType=\"image/tiff\""), std::string::npos) << kept;
    }
    EXPECT_NE(updated.at("Documents/1/Pages/1.fpage").find("/Resources/good.jpg"), std::string::npos);
    EXPECT_NE(updated.at("Documents/1/Pages/_rels/1.fpage.rels").find("../../../Resources/good.jpg"), std::string::npos);
}

TEST_F(XpsUpdateTest, EntriesEscapingTheStagingFolderAreNeverWritten) {
    Entries entries = miniXps({{"a.tif", photoTiff(scratch)}});
    entries["../x.tif"] = "outside";
    entries["/etc/x.tif"] = "outside";
    entries["Resources/../../y.tif"] = "outside";
    std::vector<archive::Entry> stored;
    for (const auto& [name, bytes] : entries) {
        writeText(scratch / "files" / std::to_string(stored.size()), bytes);
        stored.push_back({name, scratch / "files" / std::to_string(stored.size())});
    }
    const fs::path xps = scratch / "escaping.xps";
    ASSERT_TRUE(archive::writeStoredArchive(xps, stored));

    XpsUtility utility = XpsUtility::initWithXpsFile(xps, 0.7f, {scratch / "staging" / "tree", {}});
    utility.addFile(scratch / "files" / "0", "../../added.xml");
    ASSERT_TRUE(utility.compressXps());
    for (const fs::path& outside : {scratch / "staging" / "x.tif", scratch / "y.tif", scratch / "added.xml", scratch / "staging" / "added.xml"})
        EXPECT_FALSE(fs::exists(outside)) << outside;
    const Entries updated = readEntries(xps);
    EXPECT_TRUE(updated.contains("Resources/a.jpg"));
    EXPECT_EQ(updated.at("../x.tif"), "outside");
    EXPECT_FALSE(updated.contains("../../added.xml"));
}

TEST_F(XpsUpdateTest, EnhancedContentOfAnEarlierRunIsReplacedWhole) {
    Entries entries = miniXps({{"a.png", readEntries(corpusDir() / "xps" / "wpf-chocolate-4p-png-odttf.xps").begin()->second}}, "image/png");
    entries["Documents/1/Other/KNFB/EnhancedContent/OverlayAssets/0123456789ab/old.html"] = "old";
    entries["Documents/1/Other/KNFB/Metadata.xml"] = "<old/>";
    entries["Documents/1/Other/Keep.xml"] = "<keep/>";
    const fs::path xps = write("rerun.xps", entries);
    ASSERT_TRUE(compress(xps, addedFiles, addedTypes, scratch));
    const Entries updated = readEntries(xps);
    EXPECT_FALSE(updated.contains("Documents/1/Other/KNFB/EnhancedContent/OverlayAssets/0123456789ab/old.html"));
    EXPECT_EQ(updated.at("Documents/1/Other/KNFB/Metadata.xml"), "<Metadata/>");
    EXPECT_EQ(updated.at("Documents/1/Other/Keep.xml"), "<keep/>");
    EXPECT_EQ(updated.at("Resources/a.png"), entries.at("Resources/a.png"));
}

// The update that is killed runs in this test program started afresh, as the
// one test below: a child that was only forked would inherit the threads
// libvips started for earlier tests, with any locks they held, and could hang.
constexpr const char* kUpdateChildVariable = "EBOOKPACK_XPS_UPDATE_CHILD";

// A large file handed in keeps the commit busy long enough to be hit.
Entries filesForTheKilledUpdate() {
    Entries added = addedFiles;
    added["Documents/1/Other/KNFB/EnhancedContent/VideoAssets/a1b2c3/clip.mp4"] = std::string(48 << 20, 'v');
    return added;
}

TEST(XpsUpdateChild, UpdatesThePackageItIsGiven) {
    const char* xps = std::getenv(kUpdateChildVariable);
    if (xps == nullptr) GTEST_SKIP() << "the update that KilledUpdateLeavesTheOriginalOrTheWholeUpdate kills";
    EXPECT_TRUE(compress(xps, filesForTheKilledUpdate(), addedTypes, fs::path(xps).parent_path() / "added"));
}

TEST_F(XpsUpdateTest, KilledUpdateLeavesTheOriginalOrTheWholeUpdate) {
    const std::string photo = photoTiff(scratch);
    Entries images;
    for (int i = 0; i < 6; ++i) images["photo" + std::to_string(i) + ".tif"] = photo;
    const fs::path xps = write("killed.xps", miniXps(images));
    const std::string original = readText(xps);
    fs::create_directories(scratch / "added");

    auto run = [&](std::optional<std::chrono::microseconds> killAfter) {
        setenv(kUpdateChildVariable, xps.c_str(), 1);
        auto child = ChildProcess::start("/proc/self/exe", {"--gtest_filter=XpsUpdateChild.*"}, scratch / "child.log");
        unsetenv(kUpdateChildVariable);
        if (!child) return std::chrono::microseconds(0);
        if (killAfter) {
            std::this_thread::sleep_for(*killAfter);
            child->kill();
        }
        return std::chrono::duration_cast<std::chrono::microseconds>(child->wait().elapsed);
    };
    const auto whole = run(std::nullopt);  // the conversions take the first part, the commit the last
    ASSERT_NE(readText(xps), original);
    writeText(xps, original);

    int interrupted = 0;
    for (double fraction : {0.05, 0.2, 0.4, 0.6, 0.8, 0.9, 0.95, 0.99}) {
        SCOPED_TRACE(fraction);
        run(std::chrono::duration_cast<std::chrono::microseconds>(whole * fraction));
        if (readText(xps) == original) {
            ++interrupted;
            continue;
        }
        const Entries updated = readEntries(xps);
        EXPECT_EQ(std::ranges::count_if(updated, [](const auto& e) { return isTiffEntry(e.first); }), 0);
        EXPECT_EQ(updated.at("Documents/1/Other/KNFB/Metadata.xml"), "<Metadata/>");
        writeText(xps, original);
    }
    EXPECT_GT(interrupted, 0);
}

}  // namespace
}  // namespace packager
