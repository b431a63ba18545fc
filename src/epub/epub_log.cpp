#include "epub/epub_log.h"

#include <syslog.h>

#include <string>

namespace packager {

void logMessage(std::string_view message) {
    const std::string line(message);
    ::syslog(LOG_ERR, "%s", line.c_str());
}

}  // namespace packager
