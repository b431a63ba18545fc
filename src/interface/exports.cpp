// The exported C functions. Each is a thin shim: convert the arguments once,
// call the C++ core, and stop every exception here so nothing unwinds into
// the host.
#include "ebookpackager.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "blio/blio_run.h"
#include "common/platform/platform.h"
#include "common/platform/system_log.h"
#include "epub/epub_run.h"
#include "interface/result_codes.h"

using packager::platform::utf16ToUtf8;

namespace {

// Runs a packaging entry point; an exception ends it with 8, its cause logged,
// since nothing may unwind into the host.
template <typename Run>
uint32_t stoppingExceptions(const char* function, Run run) {
    try {
        return run();
    } catch (const std::exception& failure) {
        packager::logFailure(function, failure.what());
    } catch (...) {
        packager::logFailure(function, "stopped by an exception of unknown type");
    }
    return EBOOKPACKAGER_CANNOT_INITIALIZE;
}

}  // namespace

extern "C" {

EBOOKPACKAGER_API uint32_t CreateEPubPackage(const uint16_t* source, const uint16_t* destination,
                                             EpubOptions options) {
    return stoppingExceptions("CreateEPubPackage", [&] {
        return packager::createEPubPackage(utf16ToUtf8(source), utf16ToUtf8(destination), options);
    });
}

EBOOKPACKAGER_API uint32_t CreateBlioPackage(const uint16_t* source, const uint16_t* destination) {
    return stoppingExceptions("CreateBlioPackage", [&] {
        return packager::createBlioPackage(utf16ToUtf8(source), utf16ToUtf8(destination));
    });
}

EBOOKPACKAGER_API uint16_t* GetErrorString(uint32_t code) {
    try {
        std::u16string message =
            packager::platform::utf8ToUtf16(std::string(packager::PackageErrors::getErrorStringForErrorCode(code)));
        auto* buffer = static_cast<uint16_t*>(std::malloc((message.size() + 1) * sizeof(uint16_t)));
        if (buffer == nullptr) return nullptr;
        std::memcpy(buffer, message.data(), message.size() * sizeof(uint16_t));
        buffer[message.size()] = 0;
        return buffer;
    } catch (...) {
        return nullptr;
    }
}

EBOOKPACKAGER_API void DeleteErrorString(uint16_t* message) { std::free(message); }

EBOOKPACKAGER_API int32_t PreRequisiteVerifier(void) { return 0; }

}  // extern "C"

// The host fills the options record by value: its layout must never drift.
static_assert(sizeof(EpubOptions) == 20);
static_assert(offsetof(EpubOptions, epubVersion) == 0);
static_assert(offsetof(EpubOptions, fixedLayout) == 4);
static_assert(offsetof(EpubOptions, layoutVariant) == 6);
static_assert(offsetof(EpubOptions, reserved) == 8);
static_assert(offsetof(EpubOptions, orientation) == 10);
static_assert(offsetof(EpubOptions, spreadMode) == 12);
static_assert(offsetof(EpubOptions, pageWidth) == 14);
static_assert(offsetof(EpubOptions, pageHeight) == 16);
