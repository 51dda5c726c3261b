// A thin owner of a POSIX file descriptor with positioned reads and writes.
#pragma once

#include <cstdint>
#include <string>

namespace zarvex {

class TOSFile {
public:
    TOSFile() = default;
    ~TOSFile();
    TOSFile(const TOSFile&) = delete;
    TOSFile& operator=(const TOSFile&) = delete;
    TOSFile(TOSFile&& other) noexcept;
    TOSFile& operator=(TOSFile&& other) noexcept;

    // Opens an existing file for reading; raises EOSError on failure.
    static TOSFile OpenRead(const std::string& fileName);
    // Creates or truncates a file for reading and writing; raises EOSError on failure.
    static TOSFile Create(const std::string& fileName);

    bool IsOpen() const { return Fd >= 0; }
    int Descriptor() const { return Fd; }
    void Close();

    // Size of the open file; raises EOSError when the system cannot tell.
    int64_t Size() const;

    // Reads up to count bytes at position, retrying partial reads; returns the bytes delivered
    // (fewer only at the end of the file). Raises EOSError on a failing call.
    int64_t ReadAt(void* destination, int64_t count, int64_t position) const;
    // Writes all count bytes at position; raises EOSError when that is not possible. written,
    // when given, holds the bytes in place either way.
    void WriteAt(const void* source, int64_t count, int64_t position,
                 int64_t* written = nullptr) const;
    // Writes first and then second as one contiguous run at position, in as few calls as the
    // system allows; raises EOSError when that is not possible.
    void WriteTwoAt(const void* first, int64_t firstCount, const void* second, int64_t secondCount,
                    int64_t position, int64_t* written = nullptr) const;
    // Copies count bytes of source at sourcePosition to position, inside the kernel where the
    // system can (no pass through this process's memory); returns the bytes copied, fewer only
    // at the end of source. Raises EOSError on a failing call; copied, when given, holds the
    // bytes that are in place either way.
    int64_t CopyFrom(const TOSFile& source, int64_t sourcePosition, int64_t count, int64_t position,
                     int64_t* copied = nullptr) const;
    // Cuts the file to size bytes; raises EOSError on failure.
    void Truncate(int64_t size) const;

private:
    // Each goes on from done, and returns false where the files do not support the way.
    bool CopyInKernel(const TOSFile& source, int64_t sourcePosition, int64_t count,
                      int64_t position, int64_t& done) const;
    bool CopyBySplice(const TOSFile& source, int64_t sourcePosition, int64_t count,
                      int64_t position, int64_t& done) const;
    void CopyThroughBuffer(const TOSFile& source, int64_t sourcePosition, int64_t count,
                           int64_t position, int64_t& done) const;

    explicit TOSFile(int fd) : Fd(fd) {}
    int Fd = -1;
};

} // namespace zarvex
