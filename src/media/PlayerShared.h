// What the player and its worker threads share: the control state under one mutex, the clock
// and the event queue. Internal to the player.
#pragma once

#include "media/PlayerClock.h"
#include "media/PlayerEvents.h"
#include "media/RenderResult.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zarvex::media {

struct TPlayerShared {
    explicit TPlayerShared(TPlayerEvents& events) : Events(events) {}

    std::mutex Mutex; // guards the fields below; taken before the clock's own
    std::condition_variable Changed;
    bool Quit = false;
    bool Running = false;
    bool RunFreely = false;      // no clock: pictures as fast as they decode (measuring)
    uint64_t SeekGeneration = 0; // bumped by every seek; workers carry out the newest only
    int64_t SeekTarget = 0;
    bool VideoDone = true; // this stream has played to its end since the last seek
    bool AudioDone = true;
    bool CompletePosted = false;
    int64_t Shown = 0; // start of the picture on screen (the target of the seek until it is)

    TPlayerClock Clock;
    TPlayerEvents& Events;

    // A worker reached the end of its stream for the seek of `generation`; the completion event
    // goes out once all rendered streams are done. Called without the mutex held.
    void Done(bool video, uint64_t generation) {
        bool post = false;
        {
            std::lock_guard lock(Mutex);
            if (generation != SeekGeneration)
                return;
            (video ? VideoDone : AudioDone) = true;
            post = VideoDone && AudioDone && !CompletePosted;
            CompletePosted = CompletePosted || post;
        }
        if (post)
            Events.Post(EventComplete);
    }

    // A worker cannot go on; the owner hears of it as an error-abort event with the code.
    void Failed(int code) { Events.Post(EventErrorAbort, code); }

    // Whether a worker that handled `generation` should stop what it is doing.
    bool Interrupted(uint64_t generation) const { return Quit || generation != SeekGeneration; }
};

} // namespace zarvex::media
