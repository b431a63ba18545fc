#pragma once

#include <unistd.h>

#include <utility>

namespace packager {

// An open file descriptor, closed when the owner goes.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }

    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    // Closes now so that a failing close (a late write error) is seen.
    bool close() { return ::close(std::exchange(fd, -1)) == 0; }

private:
    int fd;
};

}  // namespace packager
