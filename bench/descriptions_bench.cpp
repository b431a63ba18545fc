// Describing a book's assets in the enhanced-content files: collectAssets over
// an asset list of N assets of all four kinds (videos, slideshows, embedded
// pages sharing a few files; a web link of its own address each), spread over
// 200 pages. The time should grow linearly with N.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "blio/blio_steps.h"
#include "common/file/run_checks.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPages = 200;

fs::path benchFolder() {
    const char* temp = std::getenv("TMPDIR");
    return fs::path(temp != nullptr && *temp != '\0' ? temp : "/tmp") / "descriptions-bench";
}

// An export folder whose asset list names `count` assets.
fs::path makeExport(int count) {
    const fs::path folder = benchFolder() / ("export-" + std::to_string(count));
    fs::remove_all(folder);
    fs::create_directories(folder / "slides");
    std::ofstream(folder / "clip.mp4") << "video";
    std::ofstream(folder / "page.html") << "<html><body>page</body></html>";
    std::ofstream(folder / "slides" / "1.jpg") << "jpeg";
    const std::string paths[] = {(folder / "clip.mp4").string(), (folder / "slides").string(),
                                 (folder / "page.html").string()};
    const char* kinds[] = {"Video", "Slideshow", "Embedded HTML", "URL"};

    std::ofstream list(folder / "AssetList.xml");
    list << "<AssetList>\n";
    for (int i = 0; i < count; ++i) {
        const int kind = i % 4;
        const std::string path = kind == 3 ? "https://example.org/entry/" + std::to_string(i) : paths[kind];
        list << "<Asset Type=\"" << kinds[kind] << "\" PageIndex=\"" << 1 + i % kPages
             << "\" X=\"72\" Y=\"36\" Width=\"144\" Height=\"108\" ID=\"box" << i << "\"><Path>" << path
             << "</Path></Asset>\n";
    }
    list << "</AssetList>\n";
    return folder;
}

void describeAssets(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const fs::path source = makeExport(count);
    fs::create_directories(benchFolder() / "tmp");
    for (auto _ : state) {
        state.PauseTiming();
        const auto assets = packager::AssetHelper::assetArrayWithContentsOfFileURL(source / "AssetList.xml");
        std::optional<packager::Workspace> workspace;
        if (packager::setupBlioTempDir(benchFolder() / "tmp" / "BlioTemp",
                                       packager::templatesFolder(EBOOKPACK_BUNDLE_DIR),
                                       workspace) != 0) {
            state.SkipWithError("cannot make the workspace");
            return;
        }
        state.ResumeTiming();
        packager::collectAssets(assets, {workspace->folder()});
        state.PauseTiming();
        workspace.reset();
        state.ResumeTiming();
    }
    state.counters["assets"] = count;
}

BENCHMARK(describeAssets)->Arg(2000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
