#include "interrupt_watch.h"

#include <pthread.h>
#include <unistd.h>

namespace {
// Not an interruption: the signal the destructor uses to wake the watcher.
constexpr int kWakeUp = SIGUSR1;
}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : onInterrupt(std::move(onInterrupt)) {
    sigemptyset(&watched);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, kWakeUp}) sigaddset(&watched, signal);
    pthread_sigmask(SIG_BLOCK, &watched, &previousMask);
    watcher = std::thread([this] { watch(); });
}

InterruptWatch::~InterruptWatch() {
    finishing = true;
    pthread_kill(watcher.native_handle(), kWakeUp);
    watcher.join();
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

void InterruptWatch::watch() {
    for (;;) {
        int signal = 0;
        if (sigwait(&watched, &signal) != 0) continue;
        if (signal == kWakeUp) {
            if (finishing) return;
            continue;
        }
        int none = 0;
        received.compare_exchange_strong(none, signal);
        onInterrupt();
    }
}

void dieOf(int signal) {
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);  // in case the default action does not end the process
}
