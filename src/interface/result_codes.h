#pragma once

#include <cstdint>
#include <string_view>

#include "ebookpackager.h"

namespace packager {

// The one list of results: each public code by its name in the header, with
// the message the host shows for it. The texts are part of the host interface
// and are kept exactly, irregular punctuation included. Naming the header's
// constants here makes a renamed or removed code a compile error; the checks
// below keep the list in step with the header's values.
#define PACKAGER_RESULTS(RESULT)                                                                                    \
    RESULT(DESTINATION_NOT_WRITABLE, "Unable to write to destination folder, cannot proceed with packaging.")       \
    RESULT(ASSET_LIST_MISSING, "AssetList.xml file is missing inside the folder, cannot proceed with packaging.")   \
    RESULT(MEDIA_TYPES_MISSING, "MediaTypes.xml file is missing in the Epub Packager.")                             \
    RESULT(XPS_MISSING, "xps file is missing inside the folder, cannot proceed with packaging.")                    \
    RESULT(SOURCE_NOT_FOLDER, "Source is not a valid folder, please specify path of source folder.")                \
    RESULT(CANNOT_MODIFY_PACKAGE, "Unable to modify package.")                                                      \
    RESULT(TEMPLATES_MISSING, "'Templates' folder is missing in the Blio Packager")                                 \
    RESULT(CANNOT_INITIALIZE, "Unable to initialize components, cannot proceed with packaging.")                    \
    RESULT(CANNOT_REMOVE_WORKSPACE, "Unable to remove BlioTemp folder in user temp folder.")                        \
    RESULT(CANNOT_CREATE_WORKSPACE, "Unable to create BlioTemp folder in user temp folder.")                        \
    RESULT(REFLOW_FOLDER_MISSING, "Unable to create ePub as reflow folder is missing.")                             \
    RESULT(REFLOW_FILES_MISSING, "Unable to create epub as reflow files are missing.")

struct ResultMessage {
    std::uint32_t code;
    std::string_view message;
};

inline constexpr ResultMessage kResultMessages[] = {
#define PACKAGER_RESULT_ENTRY(name, text) {EBOOKPACKAGER_##name, text},
    PACKAGER_RESULTS(PACKAGER_RESULT_ENTRY)
#undef PACKAGER_RESULT_ENTRY
};

inline constexpr std::string_view kUnknownCodeMessage = "Incorrect error code!";

class PackageErrors {
public:
    // The message of `code`, or "Incorrect error code!" for 0 and unknown codes.
    static constexpr std::string_view getErrorStringForErrorCode(std::uint32_t code) {
        for (const auto& entry : kResultMessages)
            if (entry.code == code) return entry.message;
        return kUnknownCodeMessage;
    }
};

namespace detail {

// In the header's order, each code once, none of them success.
constexpr bool listedInOrder() {
    std::uint32_t previous = EBOOKPACKAGER_OK;
    for (const auto& entry : kResultMessages) {
        if (entry.code <= previous) return false;
        previous = entry.code;
    }
    return true;
}

}  // namespace detail

static_assert(detail::listedInOrder(), "result codes must be listed once each, in increasing order");
// The header's last code closes the list, so a code added to the header
// without a message fails here.
static_assert(kResultMessages[std::size(kResultMessages) - 1].code == EBOOKPACKAGER_LAST_RESULT,
              "every result code of the header needs its message");

}  // namespace packager
