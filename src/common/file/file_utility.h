#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace packager {

namespace fs = std::filesystem;

// The one place where both packagers create, copy, remove and patch files.
// Every operation answers by value; none throws or logs.
class EpubPackagerFileUtility {
public:
    // True when the file's text (valid UTF-8) contains `text`, ignoring case.
    static bool findInFile(const fs::path& file, std::string_view text);

    // Replaces every occurrence of `target` (exact, one scan from the start) and
    // writes the result atomically over the file, also when nothing changed.
    // A file that is missing, unreadable or not valid UTF-8 is left untouched.
    static bool replaceInFile(const fs::path& file, std::string_view target, std::string_view replacement);

    // Copies a file or a whole folder. An existing folder at `to` receives the
    // source under its own name; a missing `to` without extension receives a
    // file inside it; otherwise `to` is the target. Symbolic links inside a
    // copied folder are not followed and not copied.
    static bool copy(const fs::path& from, const fs::path& to);

    // Removes a file or a folder with everything below it (links are removed,
    // never followed). False when nothing was there or the removal failed.
    static bool remove(const fs::path& path);

    // Creates the folder and its missing ancestors; true when it exists at the end.
    static bool createDirectoryAtPath(const fs::path& folder);

    // 12 lower-case hexadecimal characters from the kernel's random source.
    static std::string randomFileName();
};

}  // namespace packager
