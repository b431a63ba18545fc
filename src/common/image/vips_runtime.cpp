#include "common/image/vips_runtime.h"

#include <vips/vips.h>

#include <mutex>

namespace packager::image {

namespace {

constexpr const char* programName = "ebookpackager";

thread_local std::string lastError;

void discardLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

bool vipsReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        // Codec warnings (unknown TIFF tags, odd JPEG markers) arrive through
        // this log domain; callers learn about real failures by value.
        g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                              G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                          discardLog, nullptr);
        ready = VIPS_INIT(programName) == 0;
        if (ready) vips_cache_set_max(0);
        else takeVipsError();
    });
    return ready;
}

void takeVipsError() {
    char* text = vips_error_buffer_copy();
    lastError = text != nullptr ? text : "";
    g_free(text);
}

const std::string& lastVipsError() { return lastError; }

}  // namespace packager::image
