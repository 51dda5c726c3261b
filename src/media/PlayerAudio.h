// The player's audio thread: keeps the sink filled a little ahead, pauses and resumes it with
// the clock, and tells the clock what has been heard. Internal to the player.
#pragma once

#include "media/AudioDecoder.h"
#include "media/AudioSink.h"
#include "media/PlayerShared.h"

#include <memory>
#include <thread>
#include <vector>

namespace zarvex::media {

class TPlayerAudio {
public:
    // The sink has been started at the decoder's rate and channels. Starts the thread; the owner
    // sets Quit and wakes it before destroying this.
    TPlayerAudio(TPlayerShared& shared, std::unique_ptr<TAudioDecoder> decoder,
                 std::unique_ptr<TAudioSink> sink);
    ~TPlayerAudio();
    TPlayerAudio(const TPlayerAudio&) = delete;
    TPlayerAudio& operator=(const TPlayerAudio&) = delete;

private:
    void Main();
    void Seek(int64_t time);
    void Fill(uint64_t generation);
    void SetPlaying(bool playing);

    TPlayerShared& Shared;
    std::unique_ptr<TAudioDecoder> Decoder;
    std::unique_ptr<TAudioSink> Sink;
    int Rate;
    int Channels;
    int64_t Base = 0;             // media time of the first sample written since the last seek
    int64_t Written = 0;          // sample frames written since then
    bool AtEnd = true;            // the decoder has nothing more
    bool Playing = false;         // the sink is resumed
    std::vector<int16_t> Pending; // decoded, not yet taken by the sink
    size_t PendingFrom = 0;       // in samples
    // Seeks made before this worker existed were for an earlier file; the owner is the only
    // writer of the generation, so reading it while constructing is safe.
    uint64_t FirstGeneration;
    std::thread Thread; // last: starts once everything above exists
};

} // namespace zarvex::media
