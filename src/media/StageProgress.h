// Progress of a job made of stages of decoding: each stage has its share of the bar, and the
// caller hears from the job at every decoded picture, so that Cancel takes effect at once.
#pragma once

#include <functional>

namespace zarvex::media {

class TVideoDecoder;

// Raised through a stage when the caller cancels. Not a std::exception, so that the handlers of
// failures let it pass to the stage that ends the job.
struct TJobCancelled {};

class TStageProgress {
public:
    // Called with the share of the job done, 0 to 1; false cancels it.
    using TCallback = std::function<bool(double share)>;

    explicit TStageProgress(TCallback callback) : Callback(std::move(callback)) {}

    // The next stage takes the shares from..to of the job.
    void Stage(double from, double to);
    // This much of the stage (0 to 1) is done; raises TJobCancelled once the caller cancels.
    void Step(double fraction);
    // Tells the caller again where the stage stands: for the work between two steps.
    void Tick() { Step(Fraction); }
    // The same without stopping, for work that must finish (an encoder's flush): a cancel is
    // noted and raised at the next step.
    void Report();
    // Every picture the decoder puts out ticks, until the decoder is freed.
    void Watch(TVideoDecoder& decoder);
    bool Cancelled() const { return WasCancelled; }
    // While held, a cancel is noted but raised only at the first step after: for work that
    // must reach its first result, so that even a job cancelled at once has something to show.
    void HoldCancel(bool hold) { Held = hold; }

private:
    TCallback Callback;
    double From = 0, To = 1, Fraction = 0;
    bool WasCancelled = false;
    bool Held = false;
};

} // namespace zarvex::media
