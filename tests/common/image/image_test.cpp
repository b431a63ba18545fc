#include "common/image/image_utility.h"
#include "scratch.h"

#include <algorithm>
#include <cmath>
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
    bool noisy = false;  // varied samples, so that a JPEG of it is mostly scan data
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
        entry(256, 4, 1, page.width);
        entry(257, 4, 1, page.height);
        entry(258, 3, samples, samples > 2 ? extra : page.bits | (samples == 2 ? page.bits << 16 : 0));
        entry(259, 3, 1, 1);
        entry(262, 3, 1, photometric);
        entry(273, 4, 1, data);
        entry(277, 3, 1, samples);
        entry(278, 4, 1, page.height);
        entry(279, 4, 1, bytes);
        entry(284, 3, 1, 1);
        if (page.alpha >= 0) entry(338, 3, 1, 2);  // unassociated alpha
        put32(out, index + 1 < pages.size() ? data + bytes : 0);
        for (unsigned i = 0; samples > 2 && i < samples; ++i) put16(out, page.bits);
        for (int pixel = 0; pixel < page.width * page.height; ++pixel) {
            for (unsigned sample = 0; sample < samples; ++sample) {
                unsigned value = sample < unsigned(page.colours) ? page.level : page.alpha;
                if (page.noisy) value = (value + pixel * 7919 + sample * 31) & 0xff;
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

    // The vips tool reads results back; it takes a third of a second to start.
    void vips(const std::string& arguments) {
        std::string output;
        ASSERT_EQ(runCommand("cd " + shellQuote(scratch) + " && vips " + arguments, &output), 0) << output;
    }

    std::string header(const fs::path& file) {
        std::string output;
        runCommand("vipsheader -a " + shellQuote(file), &output);
        return output;
    }

    double average(const fs::path& file) {
        std::string output;
        if (runCommand("vips avg " + shellQuote(file), &output) != 0) return -1;
        return std::stod(output);
    }

    std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The luminance table's DC entry of a baseline JPEG, which libjpeg scales
// from 16 by the quality setting.
int dcQuantizer(const std::string& jpeg) {
    std::size_t marker = jpeg.find("\xff\xdb");
    return marker == std::string::npos ? -1 : static_cast<unsigned char>(jpeg[marker + 5]);
}

int expectedDcQuantizer(int quality) {
    int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return std::clamp((16 * scale + 50) / 100, 1, 255);
}

int openDescriptors() {
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(ImageTest, TypesComeFromTheLowerCasedExtensionOfAnExistingFile) {
    struct Case {
        const char* name;
        bool image;
        bool tiff;
    };
    const Case cases[] = {
        {"photo.jpeg", true, false}, {"photo.JPG", true, false}, {"photo.jpe", true, false},
        {"photo.png", true, false},  {"anim.gif", true, false},  {"pic.Bmp", true, false},
        {"scan.tif", false, true},   {"scan.TIFF", false, true}, {"notes.txt", false, false},
        {"png", false, false},       {"photo.", false, false},
    };
    for (const Case& c : cases) {
        writeText(scratch / c.name, "not decoded");  // contents are never looked at
        EXPECT_EQ(Images::isImageFile(scratch / c.name), c.image) << c.name;
        EXPECT_EQ(Images::isTiffFile(scratch / c.name), c.tiff) << c.name;
    }
    fs::create_directory(scratch / "folder.png");
    EXPECT_FALSE(Images::isImageFile(scratch / "folder.png"));
    EXPECT_FALSE(Images::isImageFile(scratch / "missing.png"));
    EXPECT_FALSE(Images::isTiffFile(scratch / "missing.tif"));
}

TEST_F(ImageTest, AlphaAndRowRatioOfTheFirstPage) {
    struct Case {
        const char* name;
        Page page;
        bool alpha;
        double ratio;
    };
    const Case cases[] = {
        {"rgb.tif", {.level = 9}, false, 1.0 / 3},
        {"rgba.tif", {.level = 9, .alpha = 255}, true, 1.0 / 4},
        {"grey.tif", {.level = 9, .colours = 1}, false, 1.0},
        {"greya16.tif", {.level = 9, .alpha = 0, .colours = 1, .bits = 16}, true, 1.0 / 4},
        {"cmyk.tif", {.level = 9, .colours = 4}, false, 1.0 / 4},
    };
    for (const Case& c : cases) {
        fs::path file = make(c.name, {c.page, Page{.alpha = 0}});  // the second page never counts
        EXPECT_EQ(Images::hasAlpha(file), c.alpha) << c.name;
        EXPECT_DOUBLE_EQ(Images::getImageWidth(file), c.ratio) << c.name;
    }
    writeText(scratch / "text.tif", "II* but not a TIFF");
    EXPECT_FALSE(Images::hasAlpha(scratch / "text.tif"));
    EXPECT_EQ(Images::getImageWidth(scratch / "text.tif"), 0.0);
    EXPECT_EQ(Images::getImageWidth(scratch / "missing.jpg"), 0.0);
}

TEST_F(ImageTest, JpegQualityIsTheLevelTimesAHundredClamped) {
    fs::path rgb = make("rgb.tif", {{.level = 100}});
    const std::pair<float, int> levels[] = {{0.7f, 70}, {0.5f, 50}, {1.0f, 100}, {0.0f, 1}, {1.5f, 100}, {-1.0f, 1}};
    for (const auto& [level, quality] : levels) {
        ASSERT_TRUE(Images::convertTiffToJpeg(rgb, scratch / "out.jpg", level)) << level;
        EXPECT_EQ(dcQuantizer(readText(scratch / "out.jpg")), expectedDcQuantizer(quality)) << level;
    }
}

TEST_F(ImageTest, JpegKeepsProfileAndResolutionAndSuitsAViewer) {
    make("rgb.tif", {{.level = 100}});
    vips("tiffsave rgb.tif tagged.tif --profile srgb --xres 11.811 --yres 11.811");
    ASSERT_TRUE(Images::convertTiffToJpeg(scratch / "tagged.tif", scratch / "tagged.jpg", 0.7f));
    std::string tags = header(scratch / "tagged.jpg");
    EXPECT_NE(tags.find("icc-profile-data"), std::string::npos) << tags;
    EXPECT_NE(tags.find("xres: 11.81"), std::string::npos) << tags;

    // CMYK, 16-bit and transparent sources all become 8-bit RGB or grey that
    // any viewer shows alike; transparency is flattened onto white.
    const std::tuple<const char*, Page, double, double> cases[] = {
        {"cmyk.tif", {.level = 0, .colours = 4}, 1.0 / 3, 255},  // no ink
        {"clear16.tif", {.level = 0, .alpha = 0, .bits = 16}, 1.0 / 3, 255},
        {"half16.tif", {.level = 128, .bits = 16}, 1.0 / 3, 128},
        {"greyclear.tif", {.level = 0, .alpha = 0, .colours = 1}, 1.0, 255},
    };
    for (const auto& [name, page, ratio, level] : cases) {
        fs::path jpeg = scratch / (std::string(name) + ".jpg");
        ASSERT_TRUE(Images::convertTiffToJpeg(make(name, {page}), jpeg, 0.9f)) << name;
        EXPECT_DOUBLE_EQ(Images::getImageWidth(jpeg), ratio) << name;  // bands of 8 bits
        EXPECT_NEAR(average(jpeg), level, 3) << name;
    }
}

TEST_F(ImageTest, PngKeepsAlphaDepthProfileAndResolution) {
    make("rgba.tif", {{.level = 200, .alpha = 100}});
    vips("tiffsave rgba.tif tagged.tif --profile srgb --xres 5 --yres 5");
    ASSERT_TRUE(Images::convertTiffToPng(scratch / "tagged.tif", scratch / "out.png"));
    std::string tags = header(scratch / "out.png");
    EXPECT_NE(tags.find("icc-profile-data"), std::string::npos) << tags;
    EXPECT_NE(tags.find("xres: 5"), std::string::npos) << tags;
    EXPECT_TRUE(Images::hasAlpha(scratch / "out.png"));
    EXPECT_NEAR(average(scratch / "out.png"), (3 * 200 + 100) / 4.0, 0.5);  // alpha kept as it was

    ASSERT_TRUE(Images::convertTiffToPng(make("rgba16.tif", {{.alpha = 0, .bits = 16}}), scratch / "16.png"));
    EXPECT_DOUBLE_EQ(Images::getImageWidth(scratch / "16.png"), 1.0 / 8);
}

TEST_F(ImageTest, OnlyTheFirstPageIsWritten) {
    fs::path pages = make("pages.tif", {{.level = 10, .colours = 1}, {.level = 200, .colours = 1, .width = 8}});
    ASSERT_TRUE(Images::convertTiffToPng(pages, scratch / "pages.png"));
    EXPECT_NEAR(average(scratch / "pages.png"), 10, 0.5);
}

TEST_F(ImageTest, UndecodableSourcesFailWithoutTouchingTheDestination) {
    std::string scan = tiff({{.level = 50, .width = 64, .height = 64}});
    writeText(scratch / "truncated.tif", scan.substr(0, scan.size() / 2));
    ASSERT_GT(Images::getImageWidth(scratch / "truncated.tif"), 0.0);  // the header still reads
    writeText(scratch / "text.tif", "just text");
    fs::path good = make("good.tif", {{.level = 50, .width = 64, .height = 64, .noisy = true}});
    ASSERT_TRUE(Images::convertTiffToJpeg(good, scratch / "good.jpg", 0.7f));
    std::string jpeg = readText(scratch / "good.jpg");
    writeText(scratch / "cut.jpg", jpeg.substr(0, jpeg.size() * 3 / 4));
    ASSERT_GT(Images::getImageWidth(scratch / "cut.jpg"), 0.0);
    fs::create_directory(scratch / "out");
    writeText(scratch / "out" / "kept.jpg", "previous");

    for (const char* source : {"truncated.tif", "text.tif", "cut.jpg", "missing.tif", "out"}) {
        EXPECT_FALSE(Images::convertTiffToJpeg(scratch / source, scratch / "out" / "new.jpg", 0.7f)) << source;
        EXPECT_FALSE(Images::convertTiffToPng(scratch / source, scratch / "out" / "new.png")) << source;
        EXPECT_FALSE(Images::convertTiffToJpeg(scratch / source, scratch / "out" / "kept.jpg", 0.7f)) << source;
    }
    EXPECT_FALSE(Images::convertTiffToPng(good, scratch / "no" / "such" / "folder.png"));
    EXPECT_EQ(namesIn(scratch / "out"), std::vector<std::string>{"kept.jpg"});
    EXPECT_EQ(readText(scratch / "out" / "kept.jpg"), "previous");
}

// Each conversion run alone gives the reference bytes; run eight at a time
// they must give the same bytes, and leave no descriptor open.
TEST_F(ImageTest, ParallelConversionsMatchSequentialOnes) {
    constexpr int count = 16;
    auto convert = [&](int i, const std::string& prefix) {
        fs::path in = scratch / ("in" + std::to_string(i) + ".tif");
        fs::path out = scratch / (prefix + std::to_string(i));
        return Images::hasAlpha(in) ? Images::convertTiffToPng(in, out)
                                    : Images::convertTiffToJpeg(in, out, 0.7f);
    };
    for (int i = 0; i < count; ++i) {
        Page page{.level = 10 + 15 * i, .alpha = i % 2 == 0 ? -1 : 128, .width = 300, .height = 200};
        make("in" + std::to_string(i) + ".tif", {page});
        ASSERT_TRUE(convert(i, "reference"));
    }
    int descriptorsBefore = openDescriptors();

    std::vector<int> ok(count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < count; i += 8)
                ok[i] = convert(i, "parallel") && !Images::convertTiffToPng(scratch / "none.tif", scratch / "x.png");
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(ok[i]) << i;
        EXPECT_EQ(readText(scratch / ("parallel" + std::to_string(i))),
                  readText(scratch / ("reference" + std::to_string(i))))
            << i;
    }
}

}  // namespace
}  // namespace packager
