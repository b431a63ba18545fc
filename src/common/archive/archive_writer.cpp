#include "common/archive/archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "common/archive/libzip_support.h"

namespace packager::archive {

namespace {

// A file created beside its destination that removes itself unless it has
// been published.
class StagedFile {
public:
    explicit StagedFile(const fs::path& destination) : destination(destination) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = destination;
            candidate += ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
            // Created by us with 0666 so the umask decides the final mode;
            // libzip keeps the mode of the file it replaces.
            int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                path = candidate;
                return;
            }
            if (errno != EEXIST) return;
        }
    }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }

    bool created() const { return !path.empty(); }
    const fs::path& name() const { return path; }

    bool publish() {
        if (std::rename(path.c_str(), destination.c_str()) != 0) return false;
        path.clear();
        return true;
    }

private:
    fs::path destination;
    fs::path path;
};

// libzip deletes an archive left without entries instead of writing one, so
// the end-of-central-directory record is written directly.
bool writeEmptyArchive(const fs::path& file) {
    std::array<char, 22> record{'P', 'K', 5, 6};
    int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    return ::close(fd) == 0 && written;
}

bool writeEntries(const fs::path& file, const std::vector<Entry>& entries) {
    int error = 0;
    detail::ArchiveHandle archive(zip_open(file.c_str(), ZIP_TRUNCATE, &error));
    if (!archive) return false;
    for (const Entry& entry : entries) {
        // A trailing "/" would make a folder entry.
        if (entry.name.empty() || entry.name.back() == '/') return false;
        // Without ZIP_FL_OVERWRITE a repeated name fails here.
        if (!detail::addStoredFile(archive.get(), entry.name.c_str(), entry.file.c_str(), 0)) return false;
    }
    // zip_close() reads the files in chunks as it writes; on failure the
    // handle is still ours and the deleter discards it.
    if (zip_close(archive.get()) != 0) return false;
    archive.release();
    return true;
}

}  // namespace

bool writeStoredArchive(const fs::path& archive, const std::vector<Entry>& entries) {
    StagedFile staged(archive);
    if (!staged.created()) return false;
    bool written = entries.empty() ? writeEmptyArchive(staged.name()) : writeEntries(staged.name(), entries);
    return written && staged.publish();
}

}  // namespace packager::archive
