#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace packager {

namespace fs = std::filesystem;

// The one place where both packagers create, copy, remove and patch files.
// Every operation answers by value; none throws or logs. Safe to call from
// several threads, but calls on the same paths are not coordinated.
class EpubPackagerFileUtility {
public:
    // True when the file's text (strict UTF-8) contains `text`, ignoring ASCII
    // case. False for a missing or unreadable file, invalid UTF-8, or an empty
    // `text`.
    static bool findInFile(const fs::path& file, std::string_view text);

    // Replaces every occurrence of `target` (exact, one scan from the start,
    // replaced text is not scanned again) and writes the result atomically over
    // the file, also when nothing changed, keeping the file's permission bits;
    // an empty `target` changes nothing.
    // A missing or unreadable file, a file that is not valid UTF-8, or a
    // `replacement` that is not, leaves the file untouched and answers false.
    static bool replaceInFile(const fs::path& file, std::string_view target, std::string_view replacement);

    // Copies a file or a whole folder to a target chosen from `to`:
    //   `to` is an existing folder       -> `to`/<source name>
    //   `to` exists as anything else     -> `to`
    //   `to` is missing, has an extension, or the source is a folder
    //                                    -> `to` (its parent folders are created)
    //   `to` is missing, no extension, the source is a file
    //                                    -> `to` is created as a folder, then `to`/<source name>
    // The copy is staged beside the target and renamed into place, so an
    // existing target is replaced only by a complete copy. `from` is taken as
    // named when it is a link to a file, but a folder that is itself a link is
    // not copied, and links, FIFOs, sockets and devices inside a copied folder
    // are skipped. False, with nothing changed, when `from` is neither a
    // regular file nor a folder (nothing is opened that could block), or when
    // the target is the source or a folder holding it.
    static bool copy(const fs::path& from, const fs::path& to);

    // Removes a file or a folder with everything below it. A link is removed,
    // never followed (trailing separators are ignored for this). False when
    // nothing was there or the removal failed, possibly part-way.
    static bool remove(const fs::path& path);

    // Creates the folder and its missing ancestors; true when it exists at the
    // end (an empty path counts as existing).
    static bool createDirectoryAtPath(const fs::path& folder);

    // 12 lower-case hexadecimal characters from the kernel's random source.
    static std::string randomFileName();
};

// `text` with every occurrence of `target` (not empty) replaced, in one scan
// from the start: replaced text is not scanned again.
std::string replaceAll(std::string_view text, std::string_view target, std::string_view replacement);

}  // namespace packager
