#include "support/FileSafety.h"

#include "support/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvex {

bool IsSameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

bool OutputExists(const std::string& path) {
    std::error_code ec;
    const bool found = std::filesystem::exists(path, ec); // "not found" is no error
    if (ec)
        throw EZarvexError("Cannot use the path \"" + path + "\": " + ec.message());
    return found;
}

void RefuseSourceAsOutput(const std::string& target, const std::string& source) {
    if (IsSameFile(target, source))
        throw EZarvexError("The output file is the source file.");
}

namespace {

// A new file beside target that nothing else has; its descriptor, the name in temp.
int CreateBeside(const std::filesystem::path& target, std::string& temp) {
    for (int n = 0;; ++n) {
        temp = (target.parent_path() / ("." + target.filename().string() + "." +
                                        std::to_string(::getpid()) + "." + std::to_string(n)))
                   .string();
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST || n == 100)
            return fd;
    }
}

bool WriteAll(int fd, std::string_view text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return ::fsync(fd) == 0; // the rename must not outlive the bytes on a crash
}

} // namespace

void ReplaceFileWith(const std::string& path, std::string_view text) {
    std::filesystem::path target(path);
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, ec))) {
        const std::filesystem::path real = std::filesystem::weakly_canonical(target, ec);
        if (!ec)
            target = real;
    }
    std::string temp;
    const int fd = CreateBeside(target, temp);
    if (fd < 0)
        RaiseLastOSError(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) // a replaced file keeps who may read it
        ::fchmod(fd, st.st_mode & 07777);
    const bool written = WriteAll(fd, text);
    int code = written ? 0 : errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temp.c_str()); // our own new file, never the user's
        throw MakeOSError(code, path);
    }
}

std::string FreeOutputName(const std::string& source) {
    const std::filesystem::path path(source);
    const std::string stem = path.stem().string() + "-cut";
    std::error_code unknown; // a name the system cannot resolve is refused when it is used
    std::filesystem::path name = path.parent_path() / (stem + ".avi");
    for (int n = 2; std::filesystem::exists(name, unknown); ++n)
        name = path.parent_path() / (stem + "-" + std::to_string(n) + ".avi");
    return name.string();
}

} // namespace zarvex
