// The player's video thread: decodes, converts to 32-bit pixels, waits for the clock and hands
// each picture to the sink; carries out seeks, newest first. Internal to the player.
#pragma once

#include "media/PictureConverter.h"
#include "media/PlayerShared.h"
#include "media/VideoDecoder.h"
#include "media/VideoSink.h"

#include <memory>
#include <mutex>
#include <thread>

namespace zarvex::media {

class TPlayerVideo {
public:
    // Starts the thread; the owner sets Quit and wakes it before destroying this.
    TPlayerVideo(TPlayerShared& shared, std::unique_ptr<TVideoDecoder> decoder);
    ~TPlayerVideo();
    TPlayerVideo(const TPlayerVideo&) = delete;
    TPlayerVideo& operator=(const TPlayerVideo&) = delete;

    // Once this returns, the previous sink is not called again.
    void SetSink(TVideoSink* sink);

private:
    void Main();
    void Step(uint64_t generation);
    uint64_t ShowAt(int64_t time, uint64_t generation);
    int64_t NewerFrame();
    bool DecodeNext(bool freely);
    bool WaitFor(int64_t position, uint64_t generation);
    void WaitForEnd(uint64_t generation);
    TVideoFramePtr Convert(const TVideoPicture& picture);
    void Deliver(TVideoFramePtr frame);

    TPlayerShared& Shared;
    std::unique_ptr<TVideoDecoder> Decoder;
    TPictureConverter Converter;
    int64_t EndTime = 0;
    bool AtEnd = true;
    uint64_t Serving = 0; // the seek being carried out
    uint64_t Newest = 0;  // and the newest one since, with its time
    int64_t NewestTime = 0;
    TVideoFramePtr Ready; // decoded ahead, waiting for its time
    std::mutex SinkMutex; // held while the sink runs
    TVideoSink* Sink = nullptr;
    // Seeks made before this worker existed were for an earlier file; the owner is the only
    // writer of the generation, so reading it while constructing is safe.
    uint64_t FirstGeneration;
    std::thread Thread; // last: starts once everything above exists
};

} // namespace zarvex::media
