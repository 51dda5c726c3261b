// A file whose index was rebuilt, as other AVI readers should see it: its own headers and data,
// followed by an OpenDML index of exactly the rebuilt entries. Decoders reading through it see
// the same chunks, numbers and key frames as the copier, whatever the damage to the file's own
// index. Nothing is written: the bytes are made up on demand.
#pragma once

#include "support/OSFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;

class TRepairedLayout {
public:
    // The layout of an open reader's file and entries. Raises EOSError when the headers cannot
    // be read again.
    static std::shared_ptr<const TRepairedLayout> Build(const TAVIFileReader& reader);

    const std::string& SourcePath() const { return Path; }
    // The source's size and change time when the layout was made; another means a stale layout.
    int64_t SourceSize() const { return FileSize; }
    int64_t SourceChangeTime() const { return ChangeTime; }
    uint64_t Size() const { return Head.size() + DataLength + Tail.size(); }

    // Copies up to count bytes at position, taking the source's bytes from file (opened on
    // SourcePath); returns the bytes delivered, 0 at the end.
    int64_t Read(const TOSFile& file, uint64_t position, void* destination, int64_t count) const;

private:
    TRepairedLayout() = default;

    std::string Path;
    int64_t FileSize = 0;
    int64_t ChangeTime = 0;
    std::vector<uint8_t> Head; // headers up to 'movi', patched, with the super indexes
    int64_t DataFrom = 0;      // source position of the bytes after 'movi'
    uint64_t DataLength = 0;
    std::vector<uint8_t> Tail; // the standard indexes
};

// The modification time of a file in nanoseconds, 0 when it cannot be told.
int64_t FileChangeTime(const std::string& path);

} // namespace zarvex
