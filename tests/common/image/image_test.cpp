#include "common/image/image_utility.h"
#include "scratch.h"

#include <iterator>
#include <optional>
#include <thread>
#include <vector>

namespace packager {
namespace {

using testing::readText;
using testing::runCommand;
using testing::shellQuote;
using testing::writeText;
using Images = EpubPackagerImageUtility;

// One page of an uncompressed TIFF: every colour sample holds `level` (scaled
// to 16 bits when `bits` is 16), and an alpha sample follows when `alpha` >= 0.
struct Page {
    int level = 0;
    int alpha = -1;
    int colours = 3;  // 1 grey, 3 RGB, 4 CMYK
    int bits = 8;
    int width = 16;
    int height = 12;
};

void put16(std::string& out, unsigned value) { out += {char(value & 0xff), char(value >> 8 & 0xff)}; }
void put32(std::string& out, unsigned value) { put16(out, value & 0xffff), put16(out, value >> 16); }

// Each directory comes before its pixels, so cutting the file short loses
// pixels while the header still reads: the shape of an interrupted copy.
std::string tiff(const std::vector<Page>& pages) {
    std::string out = "II*";
    out += '\0';
    put32(out, 8);
    for (std::size_t index = 0; index < pages.size(); ++index) {
        const Page& page = pages[index];
        unsigned samples = page.colours + (page.alpha >= 0 ? 1 : 0);
        unsigned entries = page.alpha >= 0 ? 11 : 10;
        unsigned extra = static_cast<unsigned>(out.size()) + 2 + entries * 12 + 4;  // bits per sample
        unsigned data = extra + (samples > 2 ? samples * 2 : 0);
        unsigned bytes = page.width * page.height * samples * page.bits / 8;
        unsigned photometric = page.colours == 1 ? 1 : page.colours == 3 ? 2 : 5;
        put16(out, entries);
        auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
            put16(out, tag), put16(out, type), put32(out, count), put32(out, value);
        };
        entry(256, 4, 1, page.width), entry(257, 4, 1, page.height);
        entry(258, 3, samples, samples > 2 ? extra : page.bits | (samples == 2 ? page.bits << 16 : 0));
        entry(259, 3, 1, 1), entry(262, 3, 1, photometric), entry(273, 4, 1, data), entry(277, 3, 1, samples);
        entry(278, 4, 1, page.height), entry(279, 4, 1, bytes), entry(284, 3, 1, 1);
        if (page.alpha >= 0) entry(338, 3, 1, 2);  // unassociated alpha
        put32(out, index + 1 < pages.size() ? data + bytes : 0);
        for (unsigned i = 0; samples > 2 && i < samples; ++i) put16(out, page.bits);
        for (int pixel = 0; pixel < page.width * page.height; ++pixel) {
            for (unsigned sample = 0; sample < samples; ++sample) {
                unsigned value = sample < unsigned(page.colours) ? page.level : page.alpha;
                if (page.bits == 16) put16(out, value * 257);
                else out += char(value);
            }
        }
    }
    return out;
}

class ImageTest : public testing::ScratchTest {
protected:
    fs::path make(const std::string& name, const std::vector<Page>& pages) {
        writeText(scratch / name, tiff(pages));
        return scratch / name;
    }

    // What a vips tool prints about a result.
    static std::string vips(const std::string& tool, const fs::path& file) {
        std::string output;
        runCommand(tool + " " + shellQuote(file), &output);
        return output;
    }
    // An error makes std::stod throw, which fails the test.
    static double average(const fs::path& file) { return std::stod(vips("vips avg", file)); }
};

// The luminance table's DC entry of a baseline JPEG, which libjpeg scales
// from 16 by the quality setting: 10 at quality 70, 255 at 1, 1 at 100.
int dcQuantizer(const std::string& jpeg) {
    std::size_t marker = jpeg.find("\xff\xdb");
    return marker == std::string::npos ? -1 : static_cast<unsigned char>(jpeg[marker + 5]);
}

int openDescriptors() {
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Types come from the name alone; alpha and the row ratio from the pixels of
// the first page, whatever the name says.
TEST_F(ImageTest, QuestionsAboutAFile) {
    const std::tuple<const char*, std::optional<Page>, bool, bool, bool, double> cases[] = {
        // name, first page (or text), isImageFile, isTiffFile, hasAlpha, getImageWidth
        {"rgb.TIF", Page{.level = 9}, false, true, false, 1.0 / 3},
        {"greya16.tiff", Page{.level = 9, .alpha = 0, .colours = 1, .bits = 16}, false, true, true, 1.0 / 4},
        {"cmyk.txt", Page{.level = 9, .colours = 4}, false, false, false, 1.0 / 4},
        {"text.JPE", std::nullopt, true, false, false, 0},
        {"text.Bmp", std::nullopt, true, false, false, 0},
        {"text.", std::nullopt, false, false, false, 0},
    };
    for (const auto& [name, page, image, isTiff, alpha, ratio] : cases) {
        if (page) make(name, {*page, Page{.alpha = 0}});  // the second page never counts
        else writeText(scratch / name, "II* but not a TIFF");
        EXPECT_EQ(Images::isImageFile(scratch / name), image) << name;
        EXPECT_EQ(Images::isTiffFile(scratch / name), isTiff) << name;
        EXPECT_EQ(Images::hasAlpha(scratch / name), alpha) << name;
        EXPECT_DOUBLE_EQ(Images::getImageWidth(scratch / name), ratio) << name;
    }
    fs::create_directory(scratch / "folder.png");
    EXPECT_FALSE(Images::isImageFile(scratch / "folder.png"));
}

TEST_F(ImageTest, ConversionsKeepProfileResolutionAndWhatEachFormatCanHold) {
    make("rgba.tif", {{.level = 200, .alpha = 100}});
    ASSERT_EQ(runCommand("cd " + shellQuote(scratch) + " && vips tiffsave rgba.tif tagged.tif --profile srgb --xres 5 --yres 5"), 0);
    ASSERT_TRUE(Images::convertTiffToJpeg(scratch / "tagged.tif", scratch / "out.jpg", 0.9f));
    ASSERT_TRUE(Images::convertTiffToPng(scratch / "tagged.tif", scratch / "out.png"));
    for (const char* out : {"out.jpg", "out.png"}) {
        std::string tags = vips("vipsheader -a", scratch / out);
        EXPECT_TRUE(tags.find("icc-profile-data") != std::string::npos && tags.find("xres: 5") != std::string::npos) << tags;
    }
    EXPECT_TRUE(Images::hasAlpha(scratch / "out.png"));
    EXPECT_NEAR(average(scratch / "out.png"), (3 * 200 + 100) / 4.0, 0.5);  // alpha kept as it was
    ASSERT_TRUE(Images::convertTiffToPng(make("rgba16.tif", {{.alpha = 0, .bits = 16}}), scratch / "16.png"));
    EXPECT_DOUBLE_EQ(Images::getImageWidth(scratch / "16.png"), 1.0 / 8);

    // A JPEG is what any viewer shows alike: 8-bit RGB or grey, transparency
    // flattened onto white, and only the first page.
    const std::tuple<const char*, std::vector<Page>, double, double> cases[] = {
        {"cmyk.tif", {{.level = 0, .colours = 4}}, 1.0 / 3, 255},  // no ink
        {"clear16.tif", {{.level = 0, .alpha = 0, .bits = 16}}, 1.0 / 3, 255},
        {"half16.tif", {{.level = 128, .bits = 16}}, 1.0 / 3, 128},
        {"greyclear.tif", {{.level = 0, .alpha = 0, .colours = 1}}, 1.0, 255},
        {"pages.tif", {{.level = 10, .colours = 1}, {.level = 200, .colours = 1, .width = 8}}, 1.0, 10},
    };
    for (const auto& [name, pages, ratio, level] : cases) {
        fs::path jpeg = scratch / (std::string(name) + ".jpg");
        ASSERT_TRUE(Images::convertTiffToJpeg(make(name, pages), jpeg, 0.9f)) << name;
        EXPECT_DOUBLE_EQ(Images::getImageWidth(jpeg), ratio) << name;
        EXPECT_NEAR(average(jpeg), level, 3) << name;
    }
    // Quality is the level times 100, clamped to 1..100.
    for (const auto& [level, quantizer] : {std::pair{0.7f, 10}, {0.0f, 255}, {1.5f, 1}}) {
        ASSERT_TRUE(Images::convertTiffToJpeg(scratch / "half16.tif", scratch / "q.jpg", level)) << level;
        EXPECT_EQ(dcQuantizer(readText(scratch / "q.jpg")), quantizer) << level;
    }
}

// The density a JPEG's JFIF header states in dots per inch, read from its
// bytes ({units, x, y}); units 0 and no density without the header.
std::tuple<int, int, int> jfifDensity(const std::string& jpeg) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(jpeg[at]); };
    if (jpeg.size() < 18 || jpeg.compare(2, 2, "\xFF\xE0") != 0 || jpeg.compare(6, 5, std::string("JFIF\0", 5)) != 0) return {0, 0, 0};
    return {byte(13), byte(14) << 8 | byte(15), byte(16) << 8 | byte(17)};
}

// A PNG's pHYs chunk: {unit, x, y} in pixels per metre (unit 1), zeros without one.
std::tuple<int, long, long> pngDensity(const std::string& png) {
    const std::size_t chunk = png.find("pHYs");
    if (chunk == std::string::npos || chunk + 13 > png.size()) return {0, 0, 0};
    auto word = [&](std::size_t at) {
        long value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(png[at + i]);
        return value;
    };
    return {static_cast<unsigned char>(png[chunk + 12]), word(chunk + 4), word(chunk + 8)};
}

// Readers that find no JFIF density assume 96 dpi and draw the page's image
// at the wrong size, so the TIFF's resolution must reach both formats.
TEST_F(ImageTest, ConversionsStateTheResolutionWhereReadersLookForIt) {
    const fs::path plain = make("plain.tif", {{.level = 90}});
    const std::tuple<const char*, double, std::tuple<int, int, int>, std::tuple<int, long, long>> cases[] = {
        // xres in pixels per mm (0: no resolution tags), JFIF {units, x, y}, pHYs {unit, x, y}
        {"72dpi.tif", 72 / 25.4, {1, 72, 72}, {1, 2835, 2835}},
        {"300dpi.tif", 300 / 25.4, {1, 300, 300}, {1, 11811, 11811}},
        {"plain.tif", 0, {1, 96, 96}, {1, 3780, 3780}},  // what XPS readers assume without one
    };
    for (const auto& [name, xres, jfif, phys] : cases) {
        const std::string resolution = " --xres " + std::to_string(xres) + " --yres " + std::to_string(xres);
        if (xres > 0) {
            ASSERT_EQ(runCommand("vips tiffsave " + shellQuote(plain) + " " + shellQuote(scratch / name) + resolution), 0);
        }
        ASSERT_TRUE(Images::convertTiffToJpeg(scratch / name, scratch / "out.jpg", 0.7f)) << name;
        ASSERT_TRUE(Images::convertTiffToPng(scratch / name, scratch / "out.png")) << name;
        EXPECT_EQ(jfifDensity(readText(scratch / "out.jpg")), jfif) << name;
        EXPECT_EQ(pngDensity(readText(scratch / "out.png")), phys) << name;
        EXPECT_GT(vips("vips avg", scratch / "out.jpg").size(), 0u) << name;  // still a JPEG libjpeg decodes
    }
}

TEST_F(ImageTest, UndecodableSourcesFailWithoutTouchingTheDestination) {
    std::string scan = tiff({{.level = 50, .width = 64, .height = 64}});
    writeText(scratch / "truncated.tif", scan.substr(0, scan.size() / 2));
    ASSERT_GT(Images::getImageWidth(scratch / "truncated.tif"), 0.0);  // the header still reads
    writeText(scratch / "text.tif", "just text");
    writeText(scratch / "out" / "kept.jpg", "previous");

    for (const char* source : {"truncated.tif", "text.tif", "missing.tif", "out"}) {
        EXPECT_FALSE(Images::convertTiffToPng(scratch / source, scratch / "out" / "new.png")) << source;
        EXPECT_FALSE(Images::convertTiffToJpeg(scratch / source, scratch / "out" / "kept.jpg", 0.7f)) << source;
    }
    EXPECT_FALSE(Images::convertTiffToPng(make("good.tif", {{}}), scratch / "no" / "such" / "folder.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch / "out"), fs::directory_iterator()), 1);
    EXPECT_EQ(readText(scratch / "out" / "kept.jpg"), "previous");
}

// Each conversion run alone gives the reference bytes; run all at once they
// must give the same bytes, and leave no descriptor open.
TEST_F(ImageTest, ParallelConversionsMatchSequentialOnes) {
    constexpr int count = 16;
    auto convert = [&](int i, const std::string& prefix) {
        fs::path in = scratch / ("in" + std::to_string(i) + ".tif"), out = scratch / (prefix + std::to_string(i));
        return Images::hasAlpha(in) ? Images::convertTiffToPng(in, out) : Images::convertTiffToJpeg(in, out, 0.7f);
    };
    for (int i = 0; i < count; ++i) {
        make("in" + std::to_string(i) + ".tif", {{.level = 10 + 15 * i, .alpha = i % 2 == 0 ? -1 : 128, .width = 300, .height = 200}});
        ASSERT_TRUE(convert(i, "reference"));
    }
    int descriptorsBefore = openDescriptors();
    std::vector<int> ok(count, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] { ok[i] = convert(i, "parallel") && !Images::convertTiffToPng(scratch / "none.tif", scratch / "x.png"); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(ok[i]) << i;
        EXPECT_EQ(readText(scratch / ("parallel" + std::to_string(i))), readText(scratch / ("reference" + std::to_string(i)))) << i;
    }
}

}  // namespace
}  // namespace packager
