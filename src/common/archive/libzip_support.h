#pragma once

// Internal to src/common/archive: the only place outside this folder's .cpp
// files that sees libzip.

#include <zip.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace packager::archive::detail {

struct DiscardArchive {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchiveHandle = std::unique_ptr<zip_t, DiscardArchive>;

// A source belongs to the caller until zip_file_add() succeeds.
struct FreeSource {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using SourceHandle = std::unique_ptr<zip_source_t, FreeSource>;

struct CloseEntry {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using EntryHandle = std::unique_ptr<zip_file_t, CloseEntry>;

// Entries larger than this, or more than this many times larger than their
// compressed data, are treated as hostile and never decompressed.
inline constexpr zip_uint64_t maxEntrySize = zip_uint64_t{1} << 30;
inline constexpr zip_uint64_t maxCompressionRatio = 1000;

// Deflated entries up to this size are inflated whole, in one pass, which is
// several times as fast as streaming them; larger ones stream, so that memory
// stays bounded whatever the entry's size.
inline constexpr zip_uint64_t maxWholeEntrySize = zip_uint64_t{128} << 20;

// Hands the decompressed bytes of entry `index` to `sink`: a deflated entry
// up to maxWholeEntrySize in one piece, anything else in chunks. Fails for
// implausible sizes (see above), for data that outgrows or falls short of the
// size the directory declares, on a CRC mismatch, and when `sink` returns
// false; `sink` may then already have seen part of the data.
bool streamEntry(zip_t* archive, zip_uint64_t index, const std::function<bool(std::span<const char>)>& sink);

// The decompressed bytes of entry `index`, when it is at most
// maxWholeEntrySize; fails as streamEntry() does, and for larger entries.
std::optional<std::string> readEntry(zip_t* archive, zip_uint64_t index);

// Inflates entry `index`, deflated with the sizes of `stat`, whole: its raw
// data is read through libzip and inflated by libdeflate, whose output must
// fill exactly the declared size and match the declared CRC. Defined beside
// the only code that sees libdeflate.
std::optional<std::string> inflateWhole(zip_t* archive, zip_uint64_t index, const zip_stat_t& stat);

// Adds `file` as a stored entry; with ZIP_FL_OVERWRITE in `flags` an entry of
// that name is replaced in place. Returns false (archive unchanged) when the
// file cannot be opened for reading now; it is read again during zip_close().
bool addStoredFile(zip_t* archive, const char* name, const char* file, zip_flags_t flags);

// A source over `file` for zip_open_from_source() that writes a new archive
// through a StagedFile: zip_close() publishes it by one rename, and a process
// killed while writing leaves no temporary file behind. With `readExisting`
// the file is opened now (null when it cannot be) and a rewritten archive
// keeps its permission bits; without, the source reads as a missing file, for
// writing a new archive over whatever is there.
SourceHandle createFileSource(const std::filesystem::path& file, bool readExisting);

}  // namespace packager::archive::detail
