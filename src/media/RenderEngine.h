// The render engine: writes a timeline into an AVI file on a worker thread, video as group 0
// and audio as group 1, each stored uncompressed or through its group's compressor.
#pragma once

#include "media/Compressors.h"
#include "media/Timeline.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zarvex::media {

class TRenderEngine {
public:
    enum class TWaitResult { Completed, Timeout };

    TRenderEngine();
    TRenderEngine(const TRenderEngine&) = delete;
    TRenderEngine& operator=(const TRenderEngine&) = delete;
    ~TRenderEngine(); // stops a running render; the file is completed

    void SetTimeline(const TTimeline& timeline);
    void SetOutputFileName(const std::string& path);
    // None stores the group's stream uncompressed.
    void SetGroupCompressor(int group, const std::optional<TCompressor>& compressor);

    // Opens sources, encoders and the output on the caller's thread (failures raise here),
    // then renders on a worker thread.
    void Run();
    // Completed once the worker has ended, whether it finished, was stopped or failed.
    TWaitResult WaitForCompletion(int timeoutMs);
    int64_t GetDuration() const;        // 100-ns units
    int64_t GetCurrentPosition() const; // 100-ns units rendered so far, in every stream
    // Ends the render early: the file is completed and valid with what was written, and what
    // the encoders still hold is dropped.
    void Stop();
    // Stops and forgets the timeline and the compressors.
    void ScrapIt();
    // Raises the failure that ended the worker, if one did.
    void RethrowFailure() const;
    // What Run had to do differently from the timeline (a source's audio it could not decode
    // became silence), one sentence each; kept until the next Run.
    const std::vector<std::string>& GetWarnings() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

} // namespace zarvex::media
