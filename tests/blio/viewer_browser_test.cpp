// The viewer pages of a built package, unpacked and opened in headless
// Chromium as the reader's web view would show them. A small harness page
// loads each viewer in a frame, drives it and writes what it saw into its own
// DOM, which the browser prints. Host names resolve nowhere, so nothing here
// can reach the network.
#include <stdlib.h>

#include "blio_fixture.h"

namespace packager::testing {
namespace {

const std::string kContent = "Documents/1/Other/KNFB/EnhancedContent/";

// Loads `viewer` (relative to the harness) in a frame and, once it and
// everything in it has loaded, runs `probe` with the frame's document as `doc`;
// `probe` pushes lines to `report`.
std::string harness(const std::string& viewer, const std::string& probe) {
    return "<!DOCTYPE html>\n<html><body><pre id=\"report\">pending</pre>\n"
           "<iframe id=\"viewer\" width=\"480\" height=\"360\" src=\"" + viewer + "\"></iframe>\n"
           "<script>\ndocument.getElementById('viewer').addEventListener('load', function () {\n"
           "  var report = [];\n  try {\n    var doc = this.contentDocument;\n" + probe +
           "\n  } catch (e) { report.push('error ' + e); }\n"
           "  document.getElementById('report').textContent = report.join('\\n');\n});\n</script></body></html>\n";
}

class ViewerBrowserTest : public ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        if (runCommand("command -v chromium >/dev/null") != 0) GTEST_SKIP() << "chromium is not installed";
        const fs::path source = copyExportFolder(sourceDir() / "examples" / "blio-book", scratch / "export");
        ASSERT_EQ(packageBlio(source, scratch / "Book"), 0u);
        auto archive = archive::Archive::open(scratch / "Book.xps");
        ASSERT_TRUE(archive);
        archive->extract({kContent + "*"}, scratch / "unpacked");
        content = scratch / "unpacked" / kContent;
        overlays = attributeValues(content / "OverlayContent.xml", "EnhancedOverlayinfoList", "EnhancedOverlayinfo",
                                   "NavigateUri");
    }

    // The report of the harness around `viewer` (relative to the enhanced content).
    std::string browse(const std::string& viewer, const std::string& probe) {
        const fs::path page = content / "harness.html";
        writeText(page, harness(viewer, probe));
        // The browser's sockets live in its temporary folder, whose path must
        // stay short; the test's own is too deep.
        char socketFolder[] = "/tmp/blio-chromium-XXXXXX";
        if (mkdtemp(socketFolder) == nullptr) return "no temporary folder";
        std::string dom;
        runCommand("(TMPDIR=" + std::string(socketFolder) + " timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                   "--disable-background-networking --disable-component-update --disable-sync "
                   "--user-data-dir=" + shellQuote(scratch / "profile") +
                       " --allow-file-access-from-files --host-resolver-rules='MAP * ~NOTFOUND' "
                       "--virtual-time-budget=10000 --dump-dom " + shellQuote("file://" + page.string()) + " 2>/dev/null)",
                   &dom);
        fs::remove_all(socketFolder);
        const std::size_t start = dom.find("<pre id=\"report\">");
        const std::size_t end = dom.find("</pre>", start);
        if (start == std::string::npos || end == std::string::npos) return dom;
        return dom.substr(start + 17, end - start - 17);
    }

    std::string overlayUnder(const std::string& folder) const {
        for (const std::string& uri : overlays)
            if (uri.starts_with(folder) && fs::is_directory(content / fs::path(uri).replace_extension())) return uri;
        return {};
    }

    fs::path content;
    std::vector<std::string> overlays;
};

TEST_F(ViewerBrowserTest, SlideshowLoadsEveryImageAndStepsThroughThem) {
    const std::string viewer = overlayUnder("OverlayAssets/Slideshow/");
    ASSERT_FALSE(viewer.empty());
    const std::string report = browse(viewer, R"(
    var images = doc.querySelectorAll('#slides img');
    report.push('images ' + images.length);
    for (var i = 0; i < images.length; i++)
      report.push(images[i].complete && images[i].naturalWidth > 0 ? 'loaded' : 'broken ' + images[i].src);
    for (var step = 0; step <= images.length; step++) {
      var shown = [];
      for (var j = 0; j < images.length; j++)
        if (doc.defaultView.getComputedStyle(images[j].parentNode).display !== 'none') shown.push(j + 1);
      report.push('showing ' + doc.getElementById('position').textContent + ' visible ' + shown.join(','));
      doc.getElementById('next').click();
    }
    // Centred in the frame, above the controls, whole.
    var box = doc.querySelector('#slides a.current img').getBoundingClientRect(), view = doc.documentElement;
    var centred = Math.abs(box.left + box.right - view.clientWidth) <= 2;
    report.push('fits ' + (box.left >= 0 && box.top >= 0 && box.right <= view.clientWidth &&
                           box.bottom <= doc.getElementById('controls').getBoundingClientRect().top && centred));
    // Keys as an old web view reports them: by code only.
    var press = function (code) {
      var event = doc.createEvent('Event');
      event.initEvent('keydown', true, true);
      event.keyCode = code;
      doc.dispatchEvent(event);
      report.push('key ' + code + ' ' + doc.getElementById('position').textContent);
    };
    press(39); press(37); press(32);)");
    EXPECT_EQ(report,
              "images 2\nloaded\nloaded\n"
              "showing 1 / 2 visible 1\nshowing 2 / 2 visible 2\nshowing 1 / 2 visible 1\n"
              "fits true\nkey 39 1 / 2\nkey 37 2 / 2\nkey 32 1 / 2");
}

TEST_F(ViewerBrowserTest, HtmlViewerShowsTheEmbeddedPage) {
    const std::string viewer = overlayUnder("OverlayAssets/Html/");
    ASSERT_FALSE(viewer.empty());
    const std::string report = browse(viewer, R"(
    var inner = doc.getElementById('content').contentDocument;
    report.push('title ' + inner.title);
    report.push('text ' + inner.getElementById('greeting').textContent);
    report.push('styled ' + (inner.defaultView.getComputedStyle(inner.body).backgroundColor === 'rgb(238, 238, 255)'));)");
    EXPECT_EQ(report, "title Example widget\ntext Hello from the embedded page.\nstyled true");
}

}  // namespace
}  // namespace packager::testing
