#include "media/OverviewWork.h"

#include "media/OverviewAudio.h"
#include "media/OverviewCodec.h"
#include "media/OverviewJpeg.h"
#include "media/OverviewThumbs.h"
#include "support/Endian.h"

#include <algorithm>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zarvex::media {

namespace {

// Pictures of more key frames than this are thinned to every n-th, so that an intra-only
// recording stays bounded; zooming in still pictures every frame.
constexpr size_t MaxKeyFrames = 20000;
// Audio chunks per unit of peak work: a few seconds of a recording interleaved per frame, so
// that the run-in of a compressed stream costs little.
constexpr int64_t ChunksPerBlock = 128;

int HeaderRate(const TAVIStream* audio) {
    if (!audio)
        return 0;
    const TPcmLayout pcm = PcmLayoutOf(*audio);
    if (pcm.Bits > 0)
        return pcm.Rate;
    return audio->Format.size() >= 8 ? int(GetU32(audio->Format.data() + 4)) : 0;
}

// Behind everything else the process does, so that the picture and the keys never wait.
void LowerPriority() {
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 19);
}

// Order of waiting items: the key frames that picture the view evenly (tier 0), the view's
// peaks (1), its other key frames (2), then everything else by distance to the view (3).
struct TRank {
    int Tier;
    int64_t Distance;
    bool operator<(const TRank& o) const {
        return Tier != o.Tier ? Tier < o.Tier : Distance < o.Distance;
    }
};

TRank RankOf(int64_t start, int64_t end, int64_t from, int64_t to, int visibleTier) {
    if (to < from)
        return {visibleTier, start};
    if (end >= from && start <= to)
        return {visibleTier, start - from};
    return {3, start > to ? start - to : from - end};
}

} // namespace

struct TOverview::TWorkerState {
    std::unique_ptr<TThumbnailDecoder> Thumbs;
    std::unique_ptr<TPeakReader> Peaks;
};

TOverview::TOverview(const TAVIFileReader& reader, const TOverviewOptions& options)
    : Clock(reader.VideoStream()->Header.dwRate, reader.VideoStream()->Header.dwScale),
      Track(HeaderRate(reader.AudioStream())) {
    Reader.OpenCopyOf(reader);
    Video = Reader.VideoStream();
    Audio = Reader.AudioStream();
    if (Audio && PcmLayoutOf(*Audio).Bits == 0 && !OpenPeakDecoder(*Audio))
        Audio = nullptr;
    std::vector<int32_t> all;
    for (int64_t i = 0; i < int64_t(Video->EntryCount()); ++i)
        if (Video->IsKeyFrame(i) && Video->EntrySize(i) > 0)
            all.push_back(int32_t(i));
    const size_t every = all.size() / MaxKeyFrames + 1;
    for (size_t i = 0; i < all.size(); i += every)
        Keys.push_back(all[i]);
    Packed.resize(Keys.size());
    KeyState.assign(Keys.size(), 0);
    if (Audio)
        BlockState.assign((Audio->EntryCount() + ChunksPerBlock - 1) / ChunksPerBlock, 0);
    if (!options.CacheFolder.empty() && OverviewCacheKeyOf(Reader.FileName(), CacheKey)) {
        CacheKey.KeyFrames = uint32_t(Keys.size());
        CacheKey.PeakBlocks = uint32_t(BlockState.size());
        CacheFile = OverviewCacheFile(options.CacheFolder, CacheKey);
        Load();
    }
    for (int w = 0; w < 2; ++w)
        Workers.emplace_back([this, w] { Work(w); });
}

TOverview::~TOverview() {
    {
        std::lock_guard<std::mutex> hold(Lock);
        Stop = true;
    }
    Wake.notify_all();
    for (std::thread& t : Workers)
        t.join();
    if (Dirty)
        Save();
}

void TOverview::Load() {
    TOverviewSnapshot s;
    if (!LoadOverviewCache(CacheFile, CacheKey, s))
        return;
    for (size_t k = 0; k < Keys.size(); ++k)
        if (s.PictureDone[k]) {
            Packed[k] = std::move(s.Pictures[k]);
            KeyState[k] = 2;
            ++KeysDoneCount;
        }
    if (Audio && s.SampleRate == Track.SampleRate()) {
        TPeakSpan span;
        span.Low = std::move(s.Low);
        span.High = std::move(s.High);
        Track.Merge(span);
        for (size_t b = 0; b < BlockState.size(); ++b)
            if (s.BlockDone[b]) {
                BlockState[b] = 2;
                ++BlocksDone;
            }
    }
}

void TOverview::Save() {
    if (CacheFile.empty())
        return;
    TOverviewSnapshot s;
    {
        std::lock_guard<std::mutex> hold(Lock);
        s.Pictures = Packed;
        s.PictureDone.resize(Keys.size());
        for (size_t k = 0; k < Keys.size(); ++k)
            s.PictureDone[k] = KeyState[k] == 2;
        s.SampleRate = Track.SampleRate();
        s.Low = Track.Lows();
        s.High = Track.Highs();
        s.BlockDone.resize(BlockState.size());
        for (size_t b = 0; b < BlockState.size(); ++b)
            s.BlockDone[b] = BlockState[b] == 2;
        Dirty = false;
    }
    SaveOverviewCache(CacheFile, CacheKey, s);
}

std::pair<int64_t, int64_t> TOverview::BlockChunks(int64_t block) const {
    const int64_t first = block * ChunksPerBlock;
    return {first, std::min<int64_t>(first + ChunksPerBlock, Audio->EntryCount())};
}

void TOverview::Reorder() {
    const int64_t from = ViewFrom, to = ViewTo;
    std::vector<std::pair<TRank, int32_t>> keys;
    for (size_t k = 0; k < Keys.size(); ++k)
        if (KeyState[k] == 0)
            keys.push_back({RankOf(KeyTime(k), KeyTime(k), from, to, 2), int32_t(k)});
    // The key frames nearest to points a thumbnail's width apart picture the view soonest.
    if (to >= from && !Keys.empty()) {
        const int64_t spacing =
            std::max<int64_t>(ViewStep > 0 ? ViewStep * 64 : (to - from) / 16, Clock.FrameStep());
        std::vector<uint8_t> spread(Keys.size(), 0);
        for (int64_t t = from; t <= to; t += spacing) {
            const auto [k0, k1] = KeysIn(t, to);
            if (k0 < k1)
                spread[k0] = 1;
        }
        for (auto& [rank, k] : keys)
            if (spread[size_t(k)])
                rank.Tier = 0;
    }
    std::sort(keys.begin(), keys.end());
    KeyOrder.clear();
    KeyRanks.clear();
    for (const auto& item : keys) {
        KeyOrder.push_back(item.second);
        KeyRanks.push_back({item.first.Tier, item.first.Distance});
    }
    KeyOrderPos = 0;

    std::vector<std::pair<TRank, int32_t>> blocks;
    for (size_t b = 0; b < BlockState.size(); ++b)
        if (BlockState[b] == 0) {
            const auto [c0, c1] = BlockChunks(int64_t(b));
            const auto time = [&](int64_t c) { return int64_t(Audio->EntryTime(c) * 1e7); };
            blocks.push_back({RankOf(time(c0), time(c1 - 1), from, to, 1), int32_t(b)});
        }
    std::sort(blocks.begin(), blocks.end());
    BlockOrder.clear();
    BlockRanks.clear();
    for (const auto& item : blocks) {
        BlockOrder.push_back(item.second);
        BlockRanks.push_back({item.first.Tier, item.first.Distance});
    }
    BlockOrderPos = 0;
}

TOverview::TTask TOverview::Next(int worker, int64_t& item) {
    std::unique_lock<std::mutex> hold(Lock);
    for (;;) {
        if (Stop)
            return TTask::None;
        if (OrderedVersion != ViewVersion || (KeyOrder.empty() && BlockOrder.empty())) {
            Reorder();
            OrderedVersion = ViewVersion;
        }
        if (worker == 0 && FramesDone != FramesWanted)
            return TTask::Frames;
        // Pass over what the other worker took or a cache supplied.
        while (KeyOrderPos < KeyOrder.size() && KeyState[size_t(KeyOrder[KeyOrderPos])] != 0)
            ++KeyOrderPos;
        while (BlockOrderPos < BlockOrder.size() &&
               BlockState[size_t(BlockOrder[BlockOrderPos])] != 0)
            ++BlockOrderPos;
        const bool key = KeyOrderPos < KeyOrder.size();
        const bool block = BlockOrderPos < BlockOrder.size();
        if (key && (!block || KeyRanks[KeyOrderPos] <= BlockRanks[BlockOrderPos])) {
            item = KeyOrder[KeyOrderPos++];
            KeyState[size_t(item)] = 1;
            return TTask::KeyFrame;
        }
        if (block) {
            item = BlockOrder[BlockOrderPos++];
            BlockState[size_t(item)] = 1;
            return TTask::Peaks;
        }
        const uint64_t seen = ViewVersion;
        Wake.wait(hold, [&] { return Stop || ViewVersion != seen; });
    }
}

void TOverview::Work(int worker) {
    LowerPriority();
    TWorkerState state;
    int64_t item = 0;
    try {
        for (TTask task; (task = Next(worker, item)) != TTask::None;) {
            if (task == TTask::KeyFrame)
                DoKeyFrame(state, item);
            else if (task == TTask::Peaks)
                DoPeaks(state, item);
            else
                DoFrames(state);
        }
    } catch (const std::exception&) {
        // Out of memory or a failing library: the overview stays as far as it got.
    }
}

void TOverview::DoKeyFrame(TWorkerState& state, int64_t k) {
    if (!state.Thumbs)
        state.Thumbs = std::make_unique<TThumbnailDecoder>(*Video);
    TThumbnailPtr picture = state.Thumbs->KeyFrame(Keys[size_t(k)]);
    std::vector<uint8_t> packed = picture ? PackThumbnail(*picture) : std::vector<uint8_t>{};
    bool complete = false;
    {
        std::lock_guard<std::mutex> hold(Lock);
        Packed[size_t(k)] = std::move(packed);
        KeyState[size_t(k)] = 2;
        ++KeysDoneCount;
        if (picture && !Packed[size_t(k)].empty())
            Remember(size_t(k), std::move(picture));
        Dirty = true;
        complete = KeysDoneCount == Keys.size() && BlocksDone == BlockState.size();
    }
    ++Gen;
    if (complete)
        Save();
}

void TOverview::DoPeaks(TWorkerState& state, int64_t block) {
    if (!state.Peaks)
        state.Peaks = std::make_unique<TPeakReader>(*Audio);
    const auto [c0, c1] = BlockChunks(block);
    const TPeakSpan span = state.Peaks->Read(c0, c1);
    bool complete = false;
    {
        std::lock_guard<std::mutex> hold(Lock);
        Track.Merge(span);
        BlockState[size_t(block)] = 2;
        ++BlocksDone;
        Dirty = true;
        complete = KeysDoneCount == Keys.size() && BlocksDone == BlockState.size();
    }
    ++Gen;
    if (complete)
        Save();
}

void TOverview::DoFrames(TWorkerState& state) {
    int64_t from = 0, to = 0;
    uint64_t wanted = 0;
    {
        std::lock_guard<std::mutex> hold(Lock);
        wanted = FramesWanted;
        to = FramesTo;
        // Frames kept from a neighbouring view are not decoded again; the rest go.
        const int64_t span = (FramesTo - FramesFrom + 1) / 2;
        for (auto i = Frames.begin(); i != Frames.end();)
            i = i->first < FramesFrom - span || i->first > FramesTo + span ? Frames.erase(i)
                                                                           : std::next(i);
        from = FramesFrom;
        while (from <= to && Frames.count(from))
            ++from;
    }
    if (!state.Thumbs)
        state.Thumbs = std::make_unique<TThumbnailDecoder>(*Video);
    if (from <= to)
        state.Thumbs->Run(
            from, to,
            [&](TThumbnailPtr p) {
                {
                    std::lock_guard<std::mutex> hold(Lock);
                    Frames[p->FrameNumber] = std::move(p);
                }
                ++Gen;
            },
            [&] {
                std::lock_guard<std::mutex> hold(Lock);
                return Stop || FramesWanted != wanted;
            });
    std::lock_guard<std::mutex> hold(Lock);
    if (FramesWanted == wanted)
        FramesDone = wanted;
}

} // namespace zarvex::media
