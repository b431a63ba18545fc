#include "common/platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace packager::platform {

void forEachInParallel(std::size_t count, const std::function<IndexWork()>& makeWorker) {
    if (count == 0) return;
    std::atomic<std::size_t> next{0};
    auto run = [&] {
        IndexWork work = makeWorker();
        for (std::size_t index; (index = next++) < count;) work(index);
    };
    const std::size_t cores = std::max(1U, std::thread::hardware_concurrency());
    std::vector<std::jthread> helpers;
    try {
        for (std::size_t i = 1; i < std::min(cores, count); ++i) helpers.emplace_back(run);
    } catch (...) {
        // No more threads to be had: those started and this one do the work.
    }
    run();
}  // the helpers join here

}  // namespace packager::platform
