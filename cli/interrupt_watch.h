#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

// Turns SIGINT, SIGTERM and SIGHUP into a call of `onInterrupt` on a thread of
// its own, so a batch can stop its jobs and remove its folders instead of
// dying on the spot. Create it before any other thread: the signals are
// blocked in the threads started after it, which inherit the mask.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    // Stops watching and unblocks the signals again.
    ~InterruptWatch();

    // The first signal that arrived, else 0.
    int signal() const { return received; }

private:
    void watch();

    std::function<void()> onInterrupt;
    sigset_t watched{};
    sigset_t previousMask{};
    std::atomic<int> received{0};
    std::atomic<bool> finishing{false};
    std::thread watcher;
};

// Ends the process by `signal` with its default action, so whoever started it
// sees how it really ended.
[[noreturn]] void dieOf(int signal);
