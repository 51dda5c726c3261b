// A long job of the window written down: everything it needs to run later, on its own reader,
// after the window has moved on to other files. The progress dialog runs one at once; the job
// queue keeps a list of them, across restarts too.
#pragma once

#include "splitting/CutList.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;

enum class TJobKind {
    Pieces, // a selection or a segment list: into one file, or one file each
    Split,  // a whole file into parts of about equal size
};

enum class TJobMethod { Copy, Exact, Recompress };

// A compressor and its settings, by FFmpeg's encoder name.
struct TJobCodec {
    std::string Encoder;
    int64_t BitRate = 0;
    int Quality = 0;
    int KeyFrameInterval = 0;
    bool operator==(const TJobCodec&) const = default;
};

struct TJobOrder {
    TJobKind Kind = TJobKind::Pieces;
    TJobMethod Method = TJobMethod::Copy;
    // Pieces: the ranges, each with its source, frames and times. Split: one entry, the file.
    std::vector<TCutListEntry> Pieces;
    // Pieces: the output file; with Separate the name the numbered files are made from.
    // Split: the folder.
    std::string Output;
    bool Separate = false;
    // Recompress: none means uncompressed.
    std::optional<TJobCodec> Video, Audio;
    // Split.
    int32_t Parts = 0;
    std::string Prefix;
    bool operator==(const TJobOrder&) const = default;
};

// Readers opened for a job's sources beforehand, by file name: copies of the window's own
// (see TAVIFileReader::OpenCopyOf), made on the window's thread, whose index (a rebuilt one
// too) the job then need not read again.
using TJobReaders = std::map<std::string, std::shared_ptr<TAVIFileReader>>;

// The files the job reads, and the files it writes (for a split, as many as it can write).
std::vector<std::string> JobInputs(const TJobOrder& order);
std::vector<std::string> JobOutputs(const TJobOrder& order);

// One line for lists: "Frame-exact copy of 2 segments of a.avi to b.avi".
std::string DescribeJob(const TJobOrder& order);

// Text of key = value lines, and back; nullopt for text that is not a job.
std::string JobToText(const TJobOrder& order);
std::optional<TJobOrder> JobFromText(const std::string& text);

} // namespace zarvex
