#include "common/file/file_utility.h"

#include "common/file/file_io.h"
#include "common/file/random_name.h"
#include "common/file/staged_file.h"
#include "common/text/ascii_case.h"
#include "common/text/unicode.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace packager {

namespace {

std::optional<std::string> readUtf8(const fs::path& file) {
    std::optional<std::string> text = readFile(file);
    if (!text || !isValidUtf8(*text)) return std::nullopt;
    return text;
}

// Writes `bytes` atomically over the existing `file`, keeping its permission
// bits: a file replaced in place must not become readable to more users.
bool rewriteInPlace(const fs::path& file, std::string_view bytes) {
    const std::optional<mode_t> permissions = permissionsOf(file);
    return permissions && writeFileAtomically(file, bytes, permissions);
}

fs::path withoutTrailingSeparators(const fs::path& path) {
    std::string text = path.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool hasExtension(const fs::path& path) { return path.extension().native().size() > 1; }  // "name." has none

// The name a copy takes inside a destination folder: the source's own last
// component, read lexically so that a link keeps its own name.
std::optional<fs::path> nameOf(const fs::path& source) {
    std::error_code error;
    fs::path absolute = fs::absolute(source, error);
    if (error) return std::nullopt;
    fs::path name = withoutTrailingSeparators(absolute.lexically_normal()).filename();
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return name;
}

// True when `target` is `source` itself or a folder holding it, so that
// replacing it would destroy the source. The target's own last component is
// not resolved: a link there is replaced, not followed.
bool wouldSwallow(const fs::path& target, const fs::path& source) {
    std::error_code error;
    fs::path realTarget = fs::weakly_canonical(target.parent_path(), error) / target.filename();
    if (error) return true;
    fs::path realSource = fs::weakly_canonical(source, error);
    if (error) return true;
    auto [mismatch, unused] = std::mismatch(realTarget.begin(), realTarget.end(), realSource.begin(), realSource.end());
    return mismatch == realTarget.end();
}

// Copies a folder's tree to `copy`, which must not exist yet. Links, sockets,
// FIFOs and devices are skipped; anything unreadable fails the whole copy.
bool copyTree(const fs::path& from, const fs::path& copy) {
    std::optional<std::vector<fs::path>> entries = walkWholeFolder(from);
    std::error_code error;
    if (!entries || !fs::create_directory(copy, error)) return false;
    for (const fs::path& relative : *entries) {
        fs::file_type type = fs::symlink_status(from / relative, error).type();
        if (error) return false;
        if (type == fs::file_type::directory) {
            fs::create_directory(copy / relative, error);
        } else if (type == fs::file_type::regular && !copyFileAtomically(from / relative, copy / relative)) {
            return false;
        }
        if (error) return false;
    }
    return true;
}

// Stages a copy of `from` beside `target`, then swaps it in: until the final
// rename the old target stays intact, and a failed copy leaves nothing behind.
bool publishCopy(const fs::path& from, const fs::path& target, bool sourceIsFolder) {
    std::error_code error;
    bool targetIsFolder = fs::symlink_status(target, error).type() == fs::file_type::directory;
    if (!sourceIsFolder && !targetIsFolder) return copyFileAtomically(from, target);

    // rename() cannot put a folder over a file or a non-empty folder, nor a
    // file over a folder, so the old target goes just before the swap.
    fs::path staged = temporarySibling(target);
    bool ready = sourceIsFolder ? copyTree(from, staged) : copyFileAtomically(from, staged);
    if (ready && exists(target)) {
        fs::remove_all(target, error);
        ready = !error;
    }
    if (ready && ::rename(staged.c_str(), target.c_str()) == 0) return true;
    fs::remove_all(staged, error);
    return false;
}

}  // namespace

std::string replaceAll(std::string_view text, std::string_view target, std::string_view replacement) {
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(target, start)) != std::string_view::npos;
         start = found + target.size()) {
        result.append(text, start, found - start);
        result.append(replacement);
    }
    result.append(text, start);
    return result;
}

bool EpubPackagerFileUtility::findInFile(const fs::path& file, std::string_view text) {
    if (text.empty()) return false;  // nothing to look for is never found
    std::optional<std::string> contents = readUtf8(file);
    if (!contents) return false;
    auto found = std::search(contents->begin(), contents->end(), text.begin(), text.end(), equalIgnoringCase);
    return found != contents->end();
}

bool EpubPackagerFileUtility::replaceInFile(const fs::path& file, std::string_view target,
                                            std::string_view replacement) {
    if (!isValidUtf8(replacement)) return false;
    std::optional<std::string> contents = readUtf8(file);
    if (!contents) return false;
    if (target.empty()) return rewriteInPlace(file, *contents);
    return rewriteInPlace(file, replaceAll(*contents, target, replacement));
}

bool EpubPackagerFileUtility::copy(const fs::path& from, const fs::path& to) {
    if (from.empty() || to.empty() || ::access(from.c_str(), R_OK) != 0) return false;
    std::optional<fs::path> name = nameOf(from);
    if (!name) return false;
    bool sourceIsFolder = isFolder(from);
    std::error_code error;
    if (!sourceIsFolder && !fs::is_regular_file(from, error)) return false;
    fs::path destination = withoutTrailingSeparators(to);

    fs::path target;
    if (isFolder(destination)) {
        target = destination / *name;
    } else if (exists(destination)) {
        target = destination;
    } else if (hasExtension(destination) || sourceIsFolder) {
        target = destination;
        createDirectoryAtPath(destination.parent_path());
    } else {
        createDirectoryAtPath(destination);
        target = destination / *name;
    }
    if (exists(target) && wouldSwallow(target, from)) return false;
    return publishCopy(from, target, sourceIsFolder);
}

bool EpubPackagerFileUtility::remove(const fs::path& path) {
    // Without trailing separators a link is the link itself, not its target.
    fs::path item = withoutTrailingSeparators(path);
    if (item.empty() || !exists(item)) return false;
    std::error_code error;
    fs::remove_all(item, error);
    return !error;
}

bool EpubPackagerFileUtility::createDirectoryAtPath(const fs::path& folder) {
    if (folder.empty()) return true;
    std::error_code error;
    fs::create_directories(folder, error);
    return isFolder(folder);
}

std::string EpubPackagerFileUtility::randomFileName() { return randomName(); }

}  // namespace packager
