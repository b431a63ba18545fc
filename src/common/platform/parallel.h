#pragma once

#include <cstddef>
#include <functional>

namespace packager::platform {

// What one thread does with each index it takes.
using IndexWork = std::function<void(std::size_t index)>;

// Hands the indices 0..count-1 out to one worker per core, this thread being
// one of them. Each worker is made by `makeWorker` on its own thread, so it
// may own state that no other thread touches (an open archive). Returns once
// every index is done and every thread has been joined.
void forEachInParallel(std::size_t count, const std::function<IndexWork()>& makeWorker);

}  // namespace packager::platform
