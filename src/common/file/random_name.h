#pragma once

#include <string>

namespace packager {

// 12 lower-case hexadecimal characters (48 bits) from the kernel's random
// source: short enough for file names, wide enough that two names drawn for one
// workspace never meet in practice.
std::string randomName();

}  // namespace packager
