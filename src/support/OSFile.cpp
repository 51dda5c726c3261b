#include "support/OSFile.h"

#include "support/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zarvex {

TOSFile::~TOSFile() {
    Close();
}

TOSFile::TOSFile(TOSFile&& other) noexcept : Fd(std::exchange(other.Fd, -1)) {}

TOSFile& TOSFile::operator=(TOSFile&& other) noexcept {
    if (this != &other) {
        Close();
        Fd = std::exchange(other.Fd, -1);
    }
    return *this;
}

TOSFile TOSFile::OpenRead(const std::string& fileName) {
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        RaiseLastOSError();
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw MakeOSError(EISDIR);
    }
    return TOSFile(fd);
}

TOSFile TOSFile::Create(const std::string& fileName) {
    int fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        RaiseLastOSError();
    return TOSFile(fd);
}

void TOSFile::Close() {
    if (Fd >= 0)
        ::close(std::exchange(Fd, -1));
}

int64_t TOSFile::Size() const {
    struct stat st {};
    if (::fstat(Fd, &st) != 0)
        RaiseLastOSError();
    return st.st_size;
}

int64_t TOSFile::ReadAt(void* destination, int64_t count, int64_t position) const {
    if (position < 0 || count <= 0)
        return 0;
    auto* out = static_cast<char*>(destination);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(Fd, out + done, static_cast<size_t>(count - done), position + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastOSError();
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void TOSFile::WriteAt(const void* source, int64_t count, int64_t position) const {
    auto* in = static_cast<const char*>(source);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(Fd, in + done, static_cast<size_t>(count - done), position + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            RaiseLastOSError();
        }
        if (n == 0)
            throw MakeOSError(EIO);
        done += n;
    }
}

} // namespace zarvex
