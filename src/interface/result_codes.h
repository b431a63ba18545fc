#pragma once

#include <cstdint>
#include <string_view>

namespace packager {

// The messages the host shows for each result code. The texts are part of the
// host interface and are kept exactly, irregular punctuation included.
struct ResultMessage {
    std::uint32_t code;
    std::string_view message;
};

inline constexpr ResultMessage kResultMessages[] = {
    {1, "Unable to write to destination folder, cannot proceed with packaging."},
    {2, "AssetList.xml file is missing inside the folder, cannot proceed with packaging."},
    {3, "MediaTypes.xml file is missing in the Epub Packager."},
    {4, "xps file is missing inside the folder, cannot proceed with packaging."},
    {5, "Source is not a valid folder, please specify path of source folder."},
    {6, "Unable to modify package."},
    {7, "'Templates' folder is missing in the Blio Packager"},
    {8, "Unable to initialize components, cannot proceed with packaging."},
    {9, "Unable to remove BlioTemp folder in user temp folder."},
    {10, "Unable to create BlioTemp folder in user temp folder."},
    {13, "Unable to create ePub as reflow folder is missing."},
    {14, "Unable to create epub as reflow files are missing."},
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

}  // namespace packager
