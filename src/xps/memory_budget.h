#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace packager::xps {

// Bytes that the threads of one update may hold in memory together, so that
// its peak stays the same however many cores the machine has. A reservation
// waits until the others have released enough; one larger than the whole
// budget goes ahead alone, so that nothing waits forever.
class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t bytes) : total(bytes) {}

    class Reservation {
    public:
        Reservation(MemoryBudget& budget, std::uint64_t bytes) : budget(budget), bytes(bytes) {}
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        ~Reservation() { budget.release(bytes); }

    private:
        MemoryBudget& budget;
        std::uint64_t bytes;
    };

    // Blocks until `bytes` fit; the reservation gives them back when it goes.
    [[nodiscard]] Reservation reserve(std::uint64_t bytes) {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return used == 0 || used + bytes <= total; });
        used += bytes;
        return Reservation(*this, bytes);
    }

private:
    void release(std::uint64_t bytes) {
        {
            std::lock_guard lock(mutex);
            used -= bytes;
        }
        released.notify_all();
    }

    std::mutex mutex;
    std::condition_variable released;
    const std::uint64_t total;
    std::uint64_t used = 0;
};

}  // namespace packager::xps
