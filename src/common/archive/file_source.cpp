// libzip's own file source writes its temporary copy under a visible name
// beside the archive, which a killed process leaves behind in the user's
// folder. This source reads the archive as libzip's does but writes through
// a StagedFile, which has no name until the moment it replaces the archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "common/archive/libzip_support.h"
#include "common/file/staged_file.h"

namespace packager::archive::detail {

namespace {

class FileSource {
public:
    FileSource(fs::path file, int readDescriptor) : file(std::move(file)), readDescriptor(readDescriptor) {
        zip_error_init(&error);
        struct stat info {};
        if (readDescriptor >= 0 && ::fstat(readDescriptor, &info) == 0) {
            size = static_cast<zip_uint64_t>(info.st_size);
            mode = info.st_mode & 07777;
        }
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    ~FileSource() {
        if (readDescriptor >= 0) ::close(readDescriptor);
        zip_error_fini(&error);
    }

    zip_int64_t handle(void* data, zip_uint64_t length, zip_source_cmd_t command);

private:
    zip_int64_t fail(int zipError, int systemError) {
        zip_error_set(&error, zipError, systemError);
        return -1;
    }
    zip_int64_t stat(void* data, zip_uint64_t length);
    zip_int64_t read(void* data, zip_uint64_t length);
    zip_int64_t beginWrite();
    zip_int64_t write(const void* data, zip_uint64_t length);
    zip_int64_t seekWrite(void* data, zip_uint64_t length);

    fs::path file;
    int readDescriptor;  // -1: the source reads as a missing file
    zip_uint64_t size = 0;
    std::optional<mode_t> mode;  // kept by a rewritten archive
    zip_uint64_t offset = 0;
    std::optional<StagedFile> staged;
    zip_error_t error;
};

zip_int64_t FileSource::stat(void* data, zip_uint64_t length) {
    // libzip takes exactly this error for "no archive yet".
    if (readDescriptor < 0) return fail(ZIP_ER_READ, ENOENT);
    auto* result = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &error);
    if (result == nullptr) return -1;
    zip_stat_init(result);
    result->size = size;
    result->valid |= ZIP_STAT_SIZE;
    return sizeof(zip_stat_t);
}

zip_int64_t FileSource::read(void* data, zip_uint64_t length) {
    const zip_uint64_t wanted = std::min(length, size - std::min(size, offset));
    for (;;) {
        ssize_t got = ::pread(readDescriptor, data, wanted, static_cast<off_t>(offset));
        if (got >= 0) {
            offset += static_cast<zip_uint64_t>(got);
            return got;
        }
        if (errno != EINTR) return fail(ZIP_ER_READ, errno);
    }
}

zip_int64_t FileSource::beginWrite() {
    staged.reset();
    if (std::optional<StagedFile> created = StagedFile::create(file)) staged.emplace(std::move(*created));
    else return fail(ZIP_ER_TMPOPEN, errno);
    if (mode && ::fchmod(staged->descriptor(), *mode) != 0) {
        staged.reset();
        return fail(ZIP_ER_TMPOPEN, errno);
    }
    return 0;
}

zip_int64_t FileSource::write(const void* data, zip_uint64_t length) {
    if (!staged->write(std::string_view(static_cast<const char*>(data), length))) return fail(ZIP_ER_WRITE, errno);
    return static_cast<zip_int64_t>(length);
}

zip_int64_t FileSource::seekWrite(void* data, zip_uint64_t length) {
    auto* seek = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &error);
    if (seek == nullptr) return -1;
    if (::lseek(staged->descriptor(), seek->offset, seek->whence) < 0) return fail(ZIP_ER_SEEK, errno);
    return 0;
}

zip_int64_t FileSource::handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
            ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_COMMIT_WRITE,
            ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE,
            ZIP_SOURCE_SUPPORTS, -1);
    case ZIP_SOURCE_STAT:
        return stat(data, length);
    case ZIP_SOURCE_OPEN:
        offset = 0;
        return readDescriptor >= 0 ? 0 : fail(ZIP_ER_OPEN, ENOENT);
    case ZIP_SOURCE_READ:
        return read(data, length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_SEEK: {
        zip_int64_t at = zip_source_seek_compute_offset(offset, size, data, length, &error);
        if (at < 0) return -1;
        offset = static_cast<zip_uint64_t>(at);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(offset);
    case ZIP_SOURCE_BEGIN_WRITE:
        return beginWrite();
    case ZIP_SOURCE_WRITE:
        return write(data, length);
    case ZIP_SOURCE_SEEK_WRITE:
        return seekWrite(data, length);
    case ZIP_SOURCE_TELL_WRITE: {
        off_t at = ::lseek(staged->descriptor(), 0, SEEK_CUR);
        return at < 0 ? fail(ZIP_ER_TELL, errno) : at;
    }
    case ZIP_SOURCE_COMMIT_WRITE: {
        bool published = staged->commit();
        staged.reset();
        return published ? 0 : fail(ZIP_ER_RENAME, errno);
    }
    case ZIP_SOURCE_ROLLBACK_WRITE:
        staged.reset();
        return 0;
    case ZIP_SOURCE_REMOVE:
        return ::unlink(file.c_str()) == 0 ? 0 : fail(ZIP_ER_REMOVE, errno);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error, data, length);
    case ZIP_SOURCE_FREE:
        delete this;  // libzip's last word on the source that owns us
        return 0;
    default:
        return fail(ZIP_ER_OPNOTSUPP, 0);
    }
}

zip_int64_t dispatch(void* source, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    return static_cast<FileSource*>(source)->handle(data, length, command);
}

}  // namespace

SourceHandle createFileSource(const fs::path& file, bool readExisting) {
    int readDescriptor = -1;
    if (readExisting) {
        // Non-blocking, should a FIFO have taken the checked file's place.
        readDescriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (readDescriptor < 0) return nullptr;
    }
    auto context = std::make_unique<FileSource>(file, readDescriptor);
    zip_error_t error;
    zip_error_init(&error);
    SourceHandle source(zip_source_function_create(dispatch, context.get(), &error));
    zip_error_fini(&error);
    if (source) context.release();  // freed by the source's ZIP_SOURCE_FREE
    return source;
}

}  // namespace packager::archive::detail
