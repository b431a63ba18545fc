#pragma once

#include <filesystem>
#include <optional>
#include <string>

// A folder only this user can enter (0700), with a fresh random name, removed
// with everything in it when the object goes away.
class PrivateFolder {
public:
    // A new folder `prefix`XXXXXX inside `parent`; nothing, with the reason in
    // `problem`, when it cannot be made.
    static std::optional<PrivateFolder> create(const std::filesystem::path& parent, const std::string& prefix,
                                               std::string& problem);

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&&) = delete;
    ~PrivateFolder();

    const std::filesystem::path& path() const { return folder; }

private:
    explicit PrivateFolder(std::filesystem::path folder) : folder(std::move(folder)) {}
    std::filesystem::path folder;
};
