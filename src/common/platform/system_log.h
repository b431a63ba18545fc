#pragma once

#include <string_view>

namespace packager {

// One line to the system log: the library's only channel for the cause of a
// failure, since the host shows its users nothing but the result code's message.
void logMessage(std::string_view message);

// "context: cause" to the system log without allocating, so that it is safe
// where an exception is being stopped.
void logFailure(const char* context, const char* cause) noexcept;

}  // namespace packager
