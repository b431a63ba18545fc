#include "common/file/random_name.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <random>
#include <sys/random.h>

namespace packager {

namespace {

constexpr std::size_t randomBytes = 6;

// getrandom() only fails on kernels without it; std::random_device then reads
// the same entropy through another route.
void fillRandom(std::array<unsigned char, randomBytes>& bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            std::random_device device;
            for (; filled < bytes.size(); ++filled) bytes[filled] = static_cast<unsigned char>(device());
        }
    }
}

}  // namespace

std::string randomName() {
    static constexpr char digits[] = "0123456789abcdef";
    std::array<unsigned char, randomBytes> bytes{};
    fillRandom(bytes);
    std::string name;
    name.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        name += digits[byte >> 4];
        name += digits[byte & 0x0f];
    }
    return name;
}

}  // namespace packager
