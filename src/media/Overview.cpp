#include "media/Overview.h"

#include "media/OverviewJpeg.h"
#include "media/OverviewWork.h"

#include <algorithm>

namespace zarvex::media {

namespace {

// Unpacked key frame pictures kept at hand: about 20 MiB of 160 x 120 pictures, a strip
// several times over.
constexpr size_t MaxUnpacked = 256;

} // namespace

std::unique_ptr<TOverviewSource> OpenOverview(const TAVIFileReader& reader,
                                              const TOverviewOptions& options) {
    if (!reader.IsOpen() || !reader.VideoStream() || reader.VideoStream()->EntryCount() == 0)
        return nullptr;
    try {
        return std::make_unique<TOverview>(reader, options);
    } catch (const std::exception&) {
        return nullptr; // the file cannot be opened again: no overview, nothing worse
    }
}

void TOverview::SetVisible(int64_t from, int64_t to, int64_t timePerColumn) {
    std::lock_guard<std::mutex> hold(Lock);
    if (from == ViewFrom && to == ViewTo && timePerColumn == ViewStep)
        return;
    ViewFrom = from;
    ViewTo = to;
    ViewStep = timePerColumn;
    ++ViewVersion;
    // Every frame only when a column holds less than one, and for a bounded stretch: 600
    // pictures are about 45 MiB.
    constexpr int64_t MaxFrames = 600;
    if (timePerColumn > 0 && timePerColumn < Clock.FrameStep() && to >= from) {
        const int64_t last = int64_t(Video->EntryCount()) - 1;
        const int64_t f0 = std::min(Clock.FrameAt(std::max<int64_t>(from, 0)), last);
        const int64_t f1 =
            std::min({Clock.FrameAt(std::max<int64_t>(to, 0)), last, f0 + MaxFrames - 1});
        if (f0 < FramesFrom || f1 > FramesTo || FramesDone != FramesWanted) {
            FramesFrom = f0;
            FramesTo = f1;
            ++FramesWanted;
        }
    } else if (FramesTo >= FramesFrom) {
        // Zoomed out: the frames' pictures go, and a run making them stops.
        FramesFrom = 0;
        FramesTo = -1;
        ++FramesWanted;
        Frames.clear();
    }
    Wake.notify_all();
}

std::pair<size_t, size_t> TOverview::KeysIn(int64_t from, int64_t to) const {
    const int64_t f0 = Clock.FrameAt(std::max<int64_t>(from, 0));
    auto first = std::lower_bound(Keys.begin(), Keys.end(), f0);
    if (first != Keys.end() && Clock.FrameStart(*first) < from)
        ++first;
    auto last = std::upper_bound(first, Keys.end(), Clock.FrameAt(std::max<int64_t>(to, 0)));
    if (to < 0)
        last = first;
    return {size_t(first - Keys.begin()), size_t(last - Keys.begin())};
}

void TOverview::Remember(size_t k, TThumbnailPtr picture) const {
    auto found = Unpacked.find(k);
    if (found != Unpacked.end()) {
        Recent.erase(found->second.second);
        Unpacked.erase(found);
    }
    Recent.push_front(k);
    Unpacked.emplace(k, std::make_pair(std::move(picture), Recent.begin()));
    while (Unpacked.size() > MaxUnpacked) {
        Unpacked.erase(Recent.back());
        Recent.pop_back();
    }
}

TThumbnailPtr TOverview::Picture(size_t k) const {
    auto found = Unpacked.find(k);
    if (found != Unpacked.end()) {
        Recent.splice(Recent.begin(), Recent, found->second.second);
        return found->second.first;
    }
    if (Packed[k].empty())
        return nullptr;
    auto picture = std::make_shared<TThumbnail>();
    if (!UnpackThumbnail(Packed[k].data(), Packed[k].size(), *picture))
        return nullptr;
    picture->FrameNumber = Keys[k];
    picture->Time = KeyTime(k);
    Remember(k, picture);
    return picture;
}

std::vector<TThumbnailPtr> TOverview::Thumbnails(int64_t from, int64_t to) const {
    std::lock_guard<std::mutex> hold(Lock);
    std::map<int64_t, TThumbnailPtr> byTime;
    const auto [k0, k1] = KeysIn(from, to);
    for (size_t k = k0; k < k1; ++k)
        if (KeyState[k] == 2)
            if (TThumbnailPtr p = Picture(k))
                byTime.emplace(p->Time, std::move(p));
    for (auto i = Frames.lower_bound(Clock.FrameAt(std::max<int64_t>(from, 0)));
         i != Frames.end() && i->second->Time <= to; ++i)
        if (i->second->Time >= from)
            byTime[i->second->Time] = i->second;
    std::vector<TThumbnailPtr> out;
    out.reserve(byTime.size());
    for (auto& [time, p] : byTime)
        out.push_back(std::move(p));
    return out;
}

TThumbnailPtr TOverview::ThumbnailAt(int64_t time) const {
    std::lock_guard<std::mutex> hold(Lock);
    TThumbnailPtr best;
    auto f = Frames.upper_bound(Clock.FrameAt(std::max<int64_t>(time, 0)));
    if (f != Frames.begin() && std::prev(f)->second->Time <= time)
        best = std::prev(f)->second;
    // Key frames whose pictures failed are passed over, a few at most in a damaged file.
    size_t k = size_t(
        std::upper_bound(Keys.begin(), Keys.end(), Clock.FrameAt(std::max<int64_t>(time, 0))) -
        Keys.begin());
    for (int tries = 0; k > 0 && tries < 64; ++tries) {
        --k;
        if (best && KeyTime(k) <= best->Time)
            break;
        if (KeyState[k] == 2 && KeyTime(k) <= time)
            if (TThumbnailPtr p = Picture(k))
                return p;
    }
    return best;
}

std::vector<TPeak> TOverview::Peaks(int64_t from, int64_t timePerColumn, int columns) const {
    if (!Audio)
        return {};
    std::lock_guard<std::mutex> hold(Lock);
    return Track.Columns(from, timePerColumn, columns);
}

size_t TOverview::KeyFramesDone() const {
    std::lock_guard<std::mutex> hold(Lock);
    return KeysDoneCount;
}

bool TOverview::PeaksComplete() const {
    std::lock_guard<std::mutex> hold(Lock);
    return BlocksDone == BlockState.size();
}

bool TOverview::Complete() const {
    std::lock_guard<std::mutex> hold(Lock);
    return KeysDoneCount == Keys.size() && BlocksDone == BlockState.size();
}

} // namespace zarvex::media
