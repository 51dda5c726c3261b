// The pictures of a run of slots, one slot at a time.
#pragma once

#include "media/VideoDecoder.h"
#include "support/Errors.h"

#include <string>

namespace zarvex::media {

// The picture shown at each slot, and whether the slot has a picture of its own (an empty
// chunk repeats the one before).
struct TSlotWalker {
    explicit TSlotWalker(TVideoDecoder& decoder) : Decoder(decoder) {}

    TVideoDecoder& Decoder;
    TVideoPicture Current;
    TVideoPicture Next;
    bool HaveNext = false;

    void Start(int64_t slot) {
        if (!Decoder.DecodeAt(Decoder.FrameTime(slot), Current))
            throw EZarvexError("The video cannot be decoded at frame " + std::to_string(slot));
        HaveNext = Decoder.DecodeNext(Next);
    }
    void MoveTo(int64_t slot) {
        while (HaveNext && Next.FrameNumber <= slot) {
            Current = std::move(Next);
            HaveNext = Decoder.DecodeNext(Next);
        }
    }
    bool Own(int64_t slot) const { return Current.FrameNumber == slot; }
};

} // namespace zarvex::media
