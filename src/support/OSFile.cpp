#include "support/OSFile.h"

#include "support/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
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

namespace {

// What a path that is not a regular file names, for the refusal.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a device";
}

} // namespace

TOSFile TOSFile::OpenRead(const std::string& fileName) {
    // Opening a named pipe for reading waits for a writer; without blocking it returns at once,
    // and anything but a regular file is refused before a byte is read.
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        RaiseLastOSError(fileName);
    TOSFile file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        RaiseLastOSError();
    if (!S_ISREG(st.st_mode))
        throw EOSError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                       std::string("The path names ") + KindOf(st.st_mode) + ", not a file.",
                       fileName);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        RaiseLastOSError();
    return file;
}

TOSFile TOSFile::Create(const std::string& fileName) {
    int fd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        RaiseLastOSError(fileName);
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

void TOSFile::Truncate(int64_t size) const {
    while (::ftruncate(Fd, size) != 0)
        if (errno != EINTR)
            RaiseLastOSError();
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

void TOSFile::WriteAt(const void* source, int64_t count, int64_t position, int64_t* written) const {
    auto* in = static_cast<const char*>(source);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(Fd, in + done, static_cast<size_t>(count - done), position + done);
        if (n <= 0 && (n == 0 || errno != EINTR)) {
            const int code = n == 0 ? EIO : errno;
            if (written)
                *written = done;
            throw MakeOSError(code);
        }
        if (n > 0)
            done += n;
    }
    if (written)
        *written = done;
}

void TOSFile::WriteTwoAt(const void* first, int64_t firstCount, const void* second,
                         int64_t secondCount, int64_t position, int64_t* written) const {
    iovec parts[2] = {{const_cast<void*>(first), size_t(firstCount)},
                      {const_cast<void*>(second), size_t(secondCount)}};
    int index = firstCount > 0 ? 0 : 1;
    const int64_t start = position;
    while (index < 2) {
        ssize_t n = ::pwritev(Fd, parts + index, 2 - index, position);
        if (n <= 0 && (n == 0 || errno != EINTR)) {
            const int code = n == 0 ? EIO : errno;
            if (written)
                *written = position - start;
            throw MakeOSError(code);
        }
        if (n < 0)
            continue;
        position += n;
        // Step over what was written; a partial write resumes inside the part it stopped in.
        while (index < 2 && size_t(n) >= parts[index].iov_len) {
            n -= ssize_t(parts[index].iov_len);
            ++index;
        }
        if (index < 2) {
            parts[index].iov_base = static_cast<char*>(parts[index].iov_base) + n;
            parts[index].iov_len -= size_t(n);
        }
    }
}

} // namespace zarvex
