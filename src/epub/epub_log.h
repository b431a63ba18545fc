#pragma once

#include <string_view>

namespace packager {

// One line to the system log; the box updater's only channel for trouble that
// does not stop the run.
void logMessage(std::string_view message);

}  // namespace packager
