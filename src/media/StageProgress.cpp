#include "media/StageProgress.h"

#include "media/VideoDecoder.h"

#include <algorithm>

namespace zarvex::media {

void TStageProgress::Stage(double from, double to) {
    From = from;
    To = to;
    Fraction = 0;
    Tick();
}

void TStageProgress::Step(double fraction) {
    // Once cancelled, whatever still runs of the stage stops at its next step too.
    if (WasCancelled) {
        if (Held)
            return;
        throw TJobCancelled();
    }
    Fraction = std::clamp(fraction, 0.0, 1.0);
    if (Callback && !Callback(From + (To - From) * Fraction)) {
        WasCancelled = true;
        if (!Held)
            throw TJobCancelled();
    }
}

void TStageProgress::Report() {
    if (!WasCancelled && Callback && !Callback(From + (To - From) * Fraction))
        WasCancelled = true;
}

void TStageProgress::Watch(TVideoDecoder& decoder) {
    decoder.OnPicture = [this] { Tick(); };
}

} // namespace zarvex::media
