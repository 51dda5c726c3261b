// The overview of one recording: two low-priority worker threads that picture its key frames
// (and every frame of a zoomed-in view) and read its audio peaks, nearest to the view first.
#pragma once

#include "avi_input/AVIRead.h"
#include "media/Overview.h"
#include "media/OverviewCache.h"
#include "media/OverviewPeaks.h"
#include "support/FrameClock.h"

#include <atomic>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace zarvex::media {

class TThumbnailDecoder;
class TPeakReader;

class TOverview : public TOverviewSource {
public:
    TOverview(const TAVIFileReader& reader, const TOverviewOptions& options);
    ~TOverview() override;

    void SetVisible(int64_t from, int64_t to, int64_t timePerColumn) override;
    std::vector<TThumbnailPtr> Thumbnails(int64_t from, int64_t to) const override;
    TThumbnailPtr ThumbnailAt(int64_t time) const override;
    std::vector<TPeak> Peaks(int64_t from, int64_t timePerColumn, int columns) const override;
    bool HasAudio() const override { return Audio != nullptr; }
    uint64_t Generation() const override { return Gen.load(); }
    bool Complete() const override;

    // Key frames in the file, and how many have been worked out (pictured or found undecodable).
    size_t KeyFrameCount() const { return Keys.size(); }
    size_t KeyFramesDone() const;
    bool PeaksComplete() const;

private:
    // What a worker does next.
    enum class TTask { None, Frames, KeyFrame, Peaks };
    struct TWorkerState;

    void Work(int worker);
    TTask Next(int worker, int64_t& item);
    void Reorder();
    void DoKeyFrame(TWorkerState& state, int64_t k);
    void DoPeaks(TWorkerState& state, int64_t block);
    void DoFrames(TWorkerState& state);
    void Load();
    void Save();
    int64_t KeyTime(size_t k) const { return Clock.FrameStart(Keys[k]); }
    // The picture of key frame k from the memory of recent ones, else unpacked; under Lock.
    TThumbnailPtr Picture(size_t k) const;
    void Remember(size_t k, TThumbnailPtr picture) const;
    std::pair<size_t, size_t> KeysIn(int64_t from, int64_t to) const;
    std::pair<int64_t, int64_t> BlockChunks(int64_t block) const;

    TAVIFileReader Reader;
    TAVIStream* Video = nullptr;
    TAVIStream* Audio = nullptr;
    TFrameClock Clock;
    std::string CacheFile;
    TOverviewCacheKey CacheKey;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::atomic<bool> Stop{false};
    std::atomic<uint64_t> Gen{1};
    bool Dirty = false;

    // Key frames: chunk numbers, JPEG pictures and state (0 waiting, 1 taken, 2 done).
    std::vector<int32_t> Keys;
    std::vector<std::vector<uint8_t>> Packed;
    std::vector<uint8_t> KeyState;
    size_t KeysDoneCount = 0;
    std::vector<int32_t> KeyOrder; // waiting key frames, nearest to the view first
    std::vector<std::pair<int, int64_t>> KeyRanks;
    size_t KeyOrderPos = 0;

    // Peaks by blocks of audio chunks.
    TPeakTrack Track;
    std::vector<uint8_t> BlockState;
    size_t BlocksDone = 0;
    std::vector<int32_t> BlockOrder;
    std::vector<std::pair<int, int64_t>> BlockRanks;
    size_t BlockOrderPos = 0;

    // The view, and the every-frame pictures of a zoomed-in one.
    int64_t ViewFrom = 0, ViewTo = -1, ViewStep = 0;
    uint64_t ViewVersion = 0, OrderedVersion = 0;
    int64_t FramesFrom = 0, FramesTo = -1;
    uint64_t FramesWanted = 0, FramesDone = 0;
    std::map<int64_t, TThumbnailPtr> Frames; // by slot

    // Recently used key frame pictures, unpacked.
    mutable std::list<size_t> Recent;
    mutable std::unordered_map<size_t, std::pair<TThumbnailPtr, std::list<size_t>::iterator>>
        Unpacked;

    std::vector<std::thread> Workers;
};

} // namespace zarvex::media
