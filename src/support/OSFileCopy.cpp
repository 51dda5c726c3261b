// Copies between files. On most local file systems copy_file_range only splices through the
// kernel's own pipe of 16 slots, which out of a file still cached in the small pieces its writer
// wrote (ffmpeg's, say, just after it wrote it) moves 64 KiB a round. A pipe of our own of 1 MiB
// moves 256 pages a round: a fifth faster there, and no slower elsewhere. Where the file system
// can clone blocks or copy on a server, copy_file_range does better than any pipe and goes first.
#include "support/OSFile.h"

#include "support/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <vector>

namespace zarvex {

namespace {

constexpr int PipeBytes = 1 << 20;

// File systems whose copy_file_range may share blocks or copy without moving the bytes here.
bool CopiesOnItsOwn(int fd) {
    struct statfs s {};
    if (::fstatfs(fd, &s) != 0)
        return false;
    switch (uint32_t(s.f_type)) {
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0xCA451A4E: // bcachefs
    case 0x2FC12FC1: // ZFS
    case 0x7461636F: // OCFS2
    case 0x00006969: // NFS
    case 0xFE534D42: // SMB2
    case 0xFF534D42: // CIFS
    case 0x00C36400: // Ceph
    case 0x65735546: // FUSE
        return true;
    default:
        return false;
    }
}

// After a failed call: true when it was interrupted and is tried again, false where the files
// do not take this way of copying (on two file systems, say); raises on any other error.
bool Interrupted() {
    if (errno == EINTR)
        return true;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        return false;
    RaiseLastOSError();
}

// Repeats a call that moves some of the bytes left, until all are done or the source ends; false
// where the files do not take this way of copying.
template <class TCall> bool Repeat(int64_t count, int64_t& done, TCall call) {
    while (done < count) {
        const ssize_t n = call();
        if (n < 0) {
            if (Interrupted())
                continue;
            return false;
        }
        if (n == 0)
            break;
        done += n;
    }
    return true;
}

class TPipe {
public:
    TPipe() {
        if (::pipe2(Ends, O_CLOEXEC) != 0) {
            Ends[0] = Ends[1] = -1;
            return;
        }
        // A user past the system's share of pipe memory keeps the default size.
        const int size = ::fcntl(Ends[1], F_SETPIPE_SZ, PipeBytes);
        Capacity = size > 0 ? size : ::fcntl(Ends[1], F_GETPIPE_SZ);
    }
    ~TPipe() {
        for (int fd : Ends)
            if (fd >= 0)
                ::close(fd);
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;
    bool IsOpen() const { return Ends[0] >= 0; }
    int In() const { return Ends[1]; }
    int Out() const { return Ends[0]; }
    int64_t Capacity = 0;

private:
    int Ends[2];
};

// Writes count bytes held in the pipe at position; false where the file takes no splice. done
// holds what got there, also when a failure is raised.
bool Drain(const TPipe& pipe, int fd, int64_t count, int64_t position, int64_t& done) {
    if (!Repeat(count, done, [&] {
            loff_t out = position + done;
            return ::splice(pipe.Out(), nullptr, fd, &out, size_t(count - done), SPLICE_F_MOVE);
        }))
        return false;
    if (done < count)
        throw EOSError(EIO, "The copy stopped writing.");
    return true;
}

} // namespace

int64_t TOSFile::CopyFrom(const TOSFile& source, int64_t sourcePosition, int64_t count,
                          int64_t position, int64_t* copied) const {
    int64_t done = 0;
    try {
        if (!((CopiesOnItsOwn(Fd) || CopiesOnItsOwn(source.Fd)) &&
              CopyInKernel(source, sourcePosition, count, position, done)) &&
            !CopyBySplice(source, sourcePosition, count, position, done))
            CopyThroughBuffer(source, sourcePosition, count, position, done);
    } catch (...) {
        // A writer that runs out of room keeps what is in place.
        if (copied)
            *copied = done;
        throw;
    }
    if (copied)
        *copied = done;
    return done;
}

bool TOSFile::CopyInKernel(const TOSFile& source, int64_t sourcePosition, int64_t count,
                           int64_t position, int64_t& done) const {
    return Repeat(count, done, [&] {
        loff_t in = sourcePosition + done, out = position + done;
        return ::copy_file_range(source.Fd, &in, Fd, &out, size_t(count - done), 0);
    });
}

bool TOSFile::CopyBySplice(const TOSFile& source, int64_t sourcePosition, int64_t count,
                           int64_t position, int64_t& done) const {
    const TPipe pipe;
    if (!pipe.IsOpen() || pipe.Capacity <= 0)
        return false;
    return Repeat(count, done, [&]() -> ssize_t {
        loff_t in = sourcePosition + done;
        const ssize_t n = ::splice(source.Fd, &in, pipe.In(), nullptr,
                                   size_t(std::min(count - done, pipe.Capacity)), SPLICE_F_MOVE);
        if (n <= 0)
            return n;
        int64_t drained = 0;
        try {
            // An output that takes no splice fails as an unsupported source does (errno
            // tells); the next way writes again from done.
            if (!Drain(pipe, Fd, n, position + done, drained))
                return -1;
        } catch (...) {
            done += drained; // a full disk keeps what is in place
            throw;
        }
        return n;
    });
}

void TOSFile::CopyThroughBuffer(const TOSFile& source, int64_t sourcePosition, int64_t count,
                                int64_t position, int64_t& done) const {
    std::vector<char> buffer(size_t(std::min<int64_t>(count - done, 1 << 20)));
    while (done < count) {
        const int64_t want = std::min<int64_t>(count - done, int64_t(buffer.size()));
        const int64_t got = source.ReadAt(buffer.data(), want, sourcePosition + done);
        WriteAt(buffer.data(), got, position + done);
        done += got;
        if (got < want)
            break;
    }
}

} // namespace zarvex
