#include "common/platform/system_log.h"

#include <syslog.h>

#include <string>

namespace packager {

void logMessage(std::string_view message) {
    const std::string line(message);
    ::syslog(LOG_ERR, "%s", line.c_str());
}

void logFailure(const char* context, const char* cause) noexcept { ::syslog(LOG_ERR, "%s: %s", context, cause); }

}  // namespace packager
