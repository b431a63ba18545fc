#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace packager {

// The folder a run delivers its package to, proven writable by creating a
// file in it. Missing parents are created on the way; they stay when the run
// succeeds, as the host expects, and are removed again (those still empty)
// when it fails, so a failed run leaves the destination as it found it. An
// empty path stands for the working folder. The probe file has no name (a
// hidden folder stands in where the file system has no unnamed files), so a
// process killed mid-probe leaves nothing in a folder that belongs to the user,
// and an item of any name already there is left alone.
class DestinationFolder {
public:
    // Nothing when the folder cannot be made or written to; whatever was made
    // on the way is removed again.
    static std::optional<DestinationFolder> prepare(const std::filesystem::path& folder);

    DestinationFolder() = default;  // a folder already there: nothing to remove
    DestinationFolder(DestinationFolder&& other) noexcept;
    DestinationFolder(const DestinationFolder&) = delete;
    DestinationFolder& operator=(const DestinationFolder&) = delete;
    DestinationFolder& operator=(DestinationFolder&&) = delete;
    ~DestinationFolder();  // removes the folders it made, unless kept

    void keep() { made.clear(); }  // the run succeeded

private:
    explicit DestinationFolder(std::vector<std::filesystem::path> made);
    std::vector<std::filesystem::path> made;  // outermost first
};

// Where a run delivers the package for `destination` (see packagePath), with
// its folder prepared. Nothing when there is no file name, when the folder
// lies below the export folder `source` (a package there could be taken into
// the next one), or when the folder cannot be written. The probe is skipped
// when the package would be the source folder itself. What runs killed while
// delivering left in the folder is removed (see removeAbandonedTemporaries).
struct Delivery {
    std::filesystem::path package;
    DestinationFolder folder;

    // Where the run writes the package: `package` with its folder's path
    // standardised (see standardizePath), its name as given.
    std::filesystem::path target() const;
};
std::optional<Delivery> prepareDelivery(const std::string& source, const std::string& destination,
                                        std::string_view extension);

}  // namespace packager
