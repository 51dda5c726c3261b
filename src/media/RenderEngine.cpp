#include "media/RenderEngine.h"

#include "avi_output/AVIWrite.h"
#include "media/RenderOutputs.h"
#include "support/Errors.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace zarvex::media {

namespace {

double TimelineSeconds(const TTimeline& timeline) {
    double end = 0;
    for (const TTimelineGroup& g : timeline.Groups)
        for (const TTimelineSource& s : g.Track.Sources)
            end = std::max(end, s.Stop);
    return end;
}

} // namespace

struct TRenderEngine::TImpl {
    TTimeline Timeline;
    std::string OutputFileName;
    std::optional<TCompressor> Compressors[2];
    std::unique_ptr<TVideoOutput> Video;
    std::unique_ptr<TAudioOutput> Audio;
    TAVIFileWriter Writer;
    std::thread Worker;
    std::atomic<bool> StopAsked{false};
    std::atomic<int64_t> Position{0};
    int64_t Duration = 0;
    std::mutex Lock;
    std::condition_variable Ended;
    bool Finished = false;
    std::exception_ptr Failure;
    std::vector<std::string> Warnings;

    void Prepare();
    void Render();
    void Loop();
    void Join() {
        StopAsked = true;
        if (Worker.joinable())
            Worker.join();
    }
};

void TRenderEngine::TImpl::Prepare() {
    const double seconds = TimelineSeconds(Timeline);
    Duration = std::llround(seconds * 1e7);
    // The platform's group numbers: one stream per group, in group order.
    int32_t id = 0;
    for (size_t i = 0; i < Timeline.Groups.size() && i < 2; ++i) {
        const TTimelineGroup& g = Timeline.Groups[i];
        if (g.MediaType.Major == TGroupKind::Video && !Video)
            Video = std::make_unique<TVideoOutput>(g, seconds, Compressors[i], id++);
        else if (g.MediaType.Major == TGroupKind::Audio && !Audio)
            Audio = std::make_unique<TAudioOutput>(g, seconds, Compressors[i], id++);
    }
    if (Audio && !Audio->SourceWarning().empty())
        Warnings.push_back(Audio->SourceWarning());
    Writer.Open(OutputFileName, AVIF_HASINDEX);
    if (Video)
        Writer.ExpectedFrames = uint32_t(Video->Frames());
    if (Video)
        Writer.AddStream(0, Video->Format().Header, Video->Format().Format.data(),
                         int32_t(Video->Format().Format.size()));
    if (Audio)
        Writer.AddStream(Video ? 1 : 0, Audio->Format().Header, Audio->Format().Format.data(),
                         int32_t(Audio->Format().Format.size()));
}

void TRenderEngine::TImpl::Loop() {
    auto done = [](const auto& s) { return !s || s->Done(); };
    auto time = [this](const auto& s) { return !s || s->Done() ? Duration : s->Time(); };
    while (!StopAsked && !(done(Video) && done(Audio))) {
        // Audio runs at most one chunk ahead of the pictures, so that readers stream smoothly.
        if (!done(Audio) && (done(Video) || Audio->Time() <= Video->Time()))
            Audio->WriteNext(Writer);
        else
            Video->WriteNext(Writer);
        Position = std::min({time(Video), time(Audio), Duration});
    }
    // Stopped, the encoders' pending pictures are dropped: x264 takes seconds to flush its.
    if (StopAsked) {
        if (Video)
            Video->Abandon(Writer);
        return;
    }
    if (Video)
        Video->Finish(Writer);
    if (Audio)
        Audio->Finish(Writer);
}

void TRenderEngine::TImpl::Render() {
    std::exception_ptr failure;
    try {
        Loop();
        Writer.Close();
    } catch (const ESourceChanged& e) {
        // What the file holds is told here; a full disk's message already tells it.
        failure =
            std::make_exception_ptr(EZarvexError(std::string(e.what()) + " " + Writer.HoldsText()));
        Writer.CloseQuietly();
    } catch (...) {
        failure = std::current_exception();
        Writer.CloseQuietly(); // the file is completed whatever happened
    }
    Video.reset();
    Audio.reset();
    std::lock_guard<std::mutex> guard(Lock);
    Failure = failure;
    Finished = true;
    Ended.notify_all();
}

TRenderEngine::TRenderEngine() : Impl(new TImpl) {}

TRenderEngine::~TRenderEngine() {
    Impl->Join();
}

void TRenderEngine::SetTimeline(const TTimeline& timeline) {
    Impl->Timeline = timeline;
}

void TRenderEngine::SetOutputFileName(const std::string& path) {
    Impl->OutputFileName = path;
}

void TRenderEngine::SetGroupCompressor(int group, const std::optional<TCompressor>& compressor) {
    if (group < 0 || group > 1)
        throw EZarvexError("The timeline has no group " + std::to_string(group));
    Impl->Compressors[group] = compressor;
}

void TRenderEngine::Run() {
    TImpl& d = *Impl;
    if (d.Worker.joinable())
        throw EZarvexError("The render engine is already running");
    d.Warnings.clear();
    try {
        d.Prepare();
    } catch (...) {
        d.Writer.CloseQuietly();
        d.Video.reset();
        d.Audio.reset();
        throw;
    }
    d.StopAsked = false;
    d.Finished = false;
    d.Failure = nullptr;
    d.Position = 0;
    d.Worker = std::thread([&d] { d.Render(); });
}

TRenderEngine::TWaitResult TRenderEngine::WaitForCompletion(int timeoutMs) {
    std::unique_lock<std::mutex> lock(Impl->Lock);
    const bool ended = Impl->Ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                            [this] { return Impl->Finished; });
    return ended ? TWaitResult::Completed : TWaitResult::Timeout;
}

int64_t TRenderEngine::GetDuration() const {
    return Impl->Duration;
}

int64_t TRenderEngine::GetCurrentPosition() const {
    return Impl->Position;
}

void TRenderEngine::Stop() {
    Impl->Join();
}

void TRenderEngine::ScrapIt() {
    Impl->Join();
    Impl->Timeline.ClearAllGroups();
    Impl->Compressors[0].reset();
    Impl->Compressors[1].reset();
}

const std::vector<std::string>& TRenderEngine::GetWarnings() const {
    return Impl->Warnings;
}

void TRenderEngine::RethrowFailure() const {
    std::lock_guard<std::mutex> guard(Impl->Lock);
    if (Impl->Failure)
        std::rethrow_exception(Impl->Failure);
}

} // namespace zarvex::media
