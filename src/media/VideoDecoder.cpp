#include "media/VideoDecoder.h"

#include "export/DSErrors.h"
#include "media/Mpeg4Headers.h"
#include "media/RecentPictures.h"
#include "media/StreamInput.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <map>
#include <new>
#include <string_view>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace zarvex::media {

TVideoPicture ClonePicture(const TVideoPicture& picture) {
    TVideoPicture copy;
    copy.Frame.reset(av_frame_clone(picture.Frame.get()));
    if (!copy.Frame)
        throw std::bad_alloc();
    copy.Position = picture.Position;
    copy.FrameNumber = picture.FrameNumber;
    copy.Packet = picture.Packet;
    return copy;
}

int FirstVideoStream(const AVFormatContext& format) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& s = *format.streams[i];
        if (s.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(s.disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

// The nominal rate: for AVI exactly the header's dwRate / dwScale, which is its time base.
AVRational NominalRate(const AVFormatContext& format, const AVStream& stream) {
    if (std::string_view(format.iformat->name) == "avi")
        return av_inv_q(stream.time_base);
    if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0)
        return stream.avg_frame_rate;
    if (stream.r_frame_rate.num > 0 && stream.r_frame_rate.den > 0)
        return stream.r_frame_rate;
    return AVRational{25, 1};
}

int64_t StreamDuration(const AVFormatContext& format, const AVStream& s) {
    if (s.duration != AV_NOPTS_VALUE && s.duration > 0)
        return av_rescale_q(s.duration, s.time_base, AVRational{1, TimeUnits});
    if (format.duration > 0)
        return av_rescale(format.duration, TimeUnits, AV_TIME_BASE);
    return 0;
}

namespace {

// After a seek, how many pictures past the key frame's own are decoded at most to learn where
// it is shown; more B-frames in a row than this are not made by any encoder we know.
constexpr int MaxLookAhead = 17;
// Decoding on beats seeking while the key frame before the target is at most this far ahead.
constexpr int64_t ForwardReach = 12;
// Of a walk to a frame only the pictures this close before it are kept: each kept picture
// takes a buffer of its own, and a walk through fresh memory decodes markedly slower.
constexpr int64_t KeptBehind = 50;

// A decoded picture and the stamp of the packet that carried it.
struct TRawPicture {
    TFramePtr Frame;
    int64_t Packet = 0;
};

} // namespace

// What the walkers over one stream share.
struct TVideoDecoder::TCommon {
    std::string Path;
    int Threads = 0;
    size_t MostWalkers = 1;
    uint64_t Uses = 0;
    TRecentPictures Recent;
    int64_t Served = -1; // the picture handed out last came from Recent
    int64_t Target = 0;  // of the last DecodeAt
};

// AVI stores no presentation stamps: the demuxer numbers packets by chunk, in decode order.
// Decoders hand pictures out in display order, so the pictures since a seek fill the chunk
// numbers fed since then in ascending order (an empty chunk keeps the picture before it). The
// one unknown is the key frame's own place: with an open GOP the B-frames that follow it in
// the file are shown before it, and after a seek the decoder drops them for want of the
// previous reference; the key picture then belongs after their slots. Pictures the decoder
// marks corrupt right after a seek (those before a recovery point has refreshed the whole
// picture, or leading ones without their reference) are not what a decode from the start
// shows: they are dropped like the leading ones, and an earlier key frame shows their slots.
struct TVideoDecoder::TImpl : TStreamInput {
    AVRational Rate{25, 1};
    TFrameClock Clock{25, 1};
    int64_t StartPts = 0;
    bool Avi = false;          // packets numbered by chunk; other containers stamp their pictures
    bool Reorders = false;     // the codec may show pictures out of decode order
    std::deque<int64_t> Slots; // frame numbers fed since the seek and not yet given out
    std::deque<TVideoPicture> Ahead; // numbered pictures not yet handed out
    std::deque<TRawPicture> Unnumbered;
    bool Anchored = false;              // the first picture since the seek has its number
    int64_t SeekKey = -1;               // first frame fed since the seek
    std::map<int64_t, int64_t> Leading; // pictures shown before each key frame's, once learnt
    bool Recovered = false;             // a sound picture has come out since the seek
    int64_t Unrecovered = 0;            // corrupt pictures dropped since the seek
    // MPEG-4 part 2 after a seek to a later key frame: 2 until the key frame's packet is fed,
    // then 1 while the B-frames shown before it follow.
    int LeadingB = 0;
    int64_t ShowFrom = 0;     // pictures before this frame are not shown since the seek
    bool Gradual = false;     // a key frame of the stream was a predicted picture
    int64_t Want = INT64_MAX; // the frame asked for: dropping pictures stops past it
    // MPEG-4 part 2 in AVI: B-frames are referred to by no other picture, so those before the
    // frame sought are not decoded at all once the first picture since the seek is placed.
    bool SkipsB = false;
    bool Packed = false;      // a packet held two pictures: their slots follow other rules
    bool Placed = false;      // the first picture since the seek has its slot
    bool SkippedB = false;    // the packet just taken was a B-frame not decoded
    int64_t SkipUpTo = -1;    // a B-frame whose interval ends by this frame is not decoded
    TVideoPicture Last;       // a second reference to the picture handed out last
    int64_t PreviousOut = -1; // the picture Next gave before, -1 right after a seek
    bool SkippedSinceSeek = false;
    uint64_t LastUse = 0;        // when it last handed out a picture
    std::deque<int64_t> Passing; // frames asked for before, on the way to the newer one
    TCommon* Common = nullptr;
    const std::function<void()>* OnPicture = nullptr;
    const std::function<int64_t()>* NewerFrame = nullptr;
    const std::function<void(const TVideoPicture&)>* OnPassed = nullptr;

    void Open(const std::string& path, int threads);
    int64_t SlotOf(int64_t dts) const {
        return av_rescale_q_rnd(dts - StartPts, Stream->time_base, av_inv_q(Rate),
                                AV_ROUND_NEAR_INF);
    }
    int64_t FramePts(int64_t frame) const {
        return StartPts + av_rescale_q(frame, av_inv_q(Rate), Stream->time_base);
    }
    bool FeedOne();
    bool ReceiveRaw(TRawPicture& picture);
    bool ReceiveShown(TRawPicture& picture);
    bool WithholdLeadingB(const AVPacket& packet);
    bool SkipB(const AVPacket& packet);
    void Anchor();
    bool Next(TVideoPicture& picture);
    bool Reaches(int64_t frame) const;
    int64_t KeyBefore(int64_t frame) const;
    int64_t KeyAfter(int64_t frame) const;
    int64_t KeyFor(int64_t frame) const;
    void Seek(int64_t key);
    int64_t Retarget(int64_t target, int64_t at);
    void Keep(const TVideoPicture& picture);
};

void TVideoDecoder::TImpl::Open(const std::string& path, int threads) {
    // FFmpeg's own choice is a frame thread per core plus one; every frame thread holds one more
    // frame decoded past the one asked for, so exact seeks are quickest with one per core.
    if (threads <= 0)
        threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    // H.264 withholds the pictures after a recovery point until it completes, which would hide
    // how many slots they take; they come out marked corrupt instead.
    CodecFlags = AV_CODEC_FLAG_OUTPUT_CORRUPT;
    Withhold = [this](const AVPacket& packet) { return WithholdLeadingB(packet) || SkipB(packet); };
    TStreamInput::Open(path, FirstVideoStream, "Video stream is not found", threads);
    // Frame threads decode interlaced MPEG-4 B-frames differently from one thread, and
    // differently again for each count; one thread gives the pictures the encoder meant.
    if (threads > 1 && Codec->codec_id == AV_CODEC_ID_MPEG4 && Mpeg4Interlaced(*Stream->codecpar))
        TStreamInput::Open(path, FirstVideoStream, "Video stream is not found", 1);
    Avi = std::string_view(Format->iformat->name) == "avi";
    StampWithDts = Avi;
    if (Avi && IsPalettised(*Stream))
        Palettes.Learn(*Format, *Stream, *Packet);
    Rate = NominalRate(*Format, *Stream);
    Clock = TFrameClock(Rate.num, Rate.den);
    if (Stream->start_time != AV_NOPTS_VALUE)
        StartPts = Stream->start_time;
    const AVCodecDescriptor* desc = avcodec_descriptor_get(Codec->codec_id);
    Reorders = !desc || (desc->props & AV_CODEC_PROP_REORDER) != 0;
    // Without B-frames (the probe found no reordering delay) there is nothing to skip, and the
    // packets need not be searched for packed pictures.
    SkipsB = Avi && Codec->codec_id == AV_CODEC_ID_MPEG4 && Stream->codecpar->video_delay > 0;
    Anchored = false;
    SeekKey = 0;
}

bool TVideoDecoder::TImpl::FeedOne() {
    const int64_t before = LastFedDts;
    if (!Feed())
        return false;
    if (Avi && LastFedDts != before && LastFedDts != AV_NOPTS_VALUE) {
        // A B-frame shows in the slot of the packet before it, which the reference before it
        // then leaves to the next one: a B-frame not decoded takes over that slot's place.
        if (SkippedB)
            Slots.back() = SlotOf(LastFedDts);
        else
            Slots.push_back(SlotOf(LastFedDts));
    }
    SkippedB = false;
    return true;
}

bool TVideoDecoder::TImpl::ReceiveRaw(TRawPicture& picture) {
    TFramePtr frame = MakeFrame();
    for (;;) {
        const int ret = avcodec_receive_frame(Codec.get(), frame.get());
        if (ret == 0)
            break;
        if (ret == AVERROR_EOF)
            return false;
        if (ret == AVERROR(EAGAIN)) {
            if (!FeedOne())
                return false;
            continue;
        }
        if (ret != AVERROR_INVALIDDATA)
            CheckDSResult(ret);
    }
    picture.Packet = frame->pts == AV_NOPTS_VALUE ? -1 : SlotOf(frame->pts);
    picture.Frame = std::move(frame);
    return true;
}

bool TVideoDecoder::TImpl::ReceiveShown(TRawPicture& picture) {
    while (ReceiveRaw(picture)) {
        if (*OnPicture)
            (*OnPicture)();
        // A key frame that is itself predicted starts a gradual refresh. The decoder calls the
        // pictures recovered once it completes, but references it had to invent can spoil the
        // whole next refresh as well; from the second key frame on the pictures are exact.
        const AVPictureType type = picture.Frame->pict_type;
        if (picture.Packet == SeekKey && SeekKey > 0 && ShowFrom <= SeekKey &&
            (type == AV_PICTURE_TYPE_P || type == AV_PICTURE_TYPE_B)) {
            ShowFrom = KeyAfter(KeyAfter(SeekKey));
            Gradual = true;
        }
        if (Recovered || !(picture.Frame->flags & AV_FRAME_FLAG_CORRUPT)) {
            Recovered = true;
            return true;
        }
        ++Unrecovered;
    }
    return false;
}

// The B-frames after a key frame that are shown before it refer to a picture before the seek
// and are dropped anyway; with interlaced MPEG-4 their bogus time distance also makes the
// decoder drop every B-frame up to the next key frame. Their slots still count.
bool TVideoDecoder::TImpl::WithholdLeadingB(const AVPacket& packet) {
    if (LeadingB == 0)
        return false;
    if (LeadingB == 2) {
        LeadingB = 1;
        return false;
    }
    if (VopType(packet.data, packet.size) == 2)
        return true;
    LeadingB = 0;
    return false;
}

// A B-frame fed after the reference R it follows shows in the slot of the packet before it,
// up to its own packet's slot; skipping it is safe when the target lies past that. Packed
// pictures show elsewhere; the first packed packet comes before any lone B-frame of its run.
bool TVideoDecoder::TImpl::SkipB(const AVPacket& packet) {
    if (!SkipsB || Packed)
        return false;
    if (SeveralVops(packet.data, packet.size)) {
        Packed = true;
        return false;
    }
    if (!Placed || LeadingB != 0 || Slots.empty())
        return false;
    const int64_t slot = SlotOf(packet.dts);
    if (slot > SkipUpTo || slot <= Slots.back() || VopType(packet.data, packet.size) != 2)
        return false;
    SkippedB = true;
    SkippedSinceSeek = true;
    return true;
}

// Finds the slot of the first picture since the seek. When it is the key frame's own picture,
// the pictures after it tell how many leading ones were dropped: the first packet after them
// holds the next reference, which is shown once the B-frames before it are out.
void TVideoDecoder::TImpl::Anchor() {
    Anchored = true;
    TRawPicture first;
    if (!ReceiveShown(first))
        return;
    if (!Slots.empty())
        SeekKey = Slots.front();
    int64_t lowest = INT64_MAX;
    if (Reorders && Unrecovered == 0 && first.Packet == SeekKey) {
        TRawPicture more;
        for (int i = 0; i < MaxLookAhead && ReceiveRaw(more); ++i) {
            lowest = std::min(lowest, more.Packet < 0 ? INT64_MAX : more.Packet);
            const bool reference = more.Frame->pict_type != AV_PICTURE_TYPE_B;
            Unnumbered.push_back(std::move(more));
            if (reference || (Slots.size() > 1 && lowest == Slots[1]))
                break;
        }
    }
    int64_t leading = Unrecovered;
    for (size_t i = 1; lowest != INT64_MAX && i < Slots.size() && Slots[i] < lowest; ++i)
        ++leading;
    Leading[SeekKey] = std::max(leading, ShowFrom - SeekKey);
    Slots.erase(Slots.begin(), Slots.begin() + std::min<ptrdiff_t>(leading, Slots.size()));
    Unnumbered.push_front(std::move(first));
    Placed = true;
}

bool TVideoDecoder::TImpl::Next(TVideoPicture& picture) {
    if (!Ahead.empty()) {
        picture = std::move(Ahead.front());
        Ahead.pop_front();
        return true;
    }
    if (!Anchored && Avi)
        Anchor();
    TRawPicture raw;
    int64_t number = 0;
    do {
        if (!Unnumbered.empty()) {
            raw = std::move(Unnumbered.front());
            Unnumbered.pop_front();
        } else if (!ReceiveShown(raw)) {
            return false;
        }
        number = Last.Frame ? Last.FrameNumber + 1 : SeekKey;
        if (!Avi) {
            const int64_t pts = raw.Frame->best_effort_timestamp;
            number = pts == AV_NOPTS_VALUE ? number : SlotOf(pts);
            if ((Unrecovered > 0 || ShowFrom > SeekKey) && !Leading.count(SeekKey))
                Leading[SeekKey] = std::max(number, ShowFrom) - SeekKey;
        } else if (!Slots.empty()) {
            number = Slots.front();
            Slots.pop_front();
        }
        if (number < ShowFrom && number <= Want)
            PreviousOut = -1;
    } while (number < ShowFrom && number <= Want);
    picture.Frame = std::move(raw.Frame);
    picture.FrameNumber = number;
    picture.Packet = Avi ? raw.Packet : -1;
    picture.Position = Clock.FrameStart(number);
    // Slots between two pictures repeat the first, unless a B-frame of theirs was skipped.
    const bool follows = !SkippedSinceSeek || number == PreviousOut + 1;
    if (Want == INT64_MAX || number >= Want - KeptBehind)
        Common->Recent.Add(picture, follows ? PreviousOut : -1);
    PreviousOut = number;
    return true;
}

// Whether decoding on from the picture handed out last gets to the frame sooner than a seek.
bool TVideoDecoder::TImpl::Reaches(int64_t frame) const {
    if (!Last.Frame || frame < Last.FrameNumber)
        return false;
    const int64_t key = KeyFor(frame);
    return key >= 0 ? key <= Last.FrameNumber + ForwardReach : frame - Last.FrameNumber <= 300;
}

// The last key frame at or before the frame, -1 when the index knows none.
int64_t TVideoDecoder::TImpl::KeyBefore(int64_t frame) const {
    const int i = av_index_search_timestamp(Stream, FramePts(frame), AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* entry = i >= 0 ? avformat_index_get_entry(Stream, i) : nullptr;
    return entry ? SlotOf(entry->timestamp) : -1;
}

// The first key frame after the frame; far past the end when the index knows none.
int64_t TVideoDecoder::TImpl::KeyAfter(int64_t frame) const {
    constexpr int64_t None = INT64_MAX / 4;
    if (frame >= None)
        return None;
    const int i = av_index_search_timestamp(Stream, FramePts(frame + 1), 0);
    const AVIndexEntry* entry = i >= 0 ? avformat_index_get_entry(Stream, i) : nullptr;
    return entry ? std::max(SlotOf(entry->timestamp), frame + 1) : None;
}

// The key frame to decode the frame from: the last one before it whose leading pictures,
// which a seek to it cannot show, do not include the frame.
int64_t TVideoDecoder::TImpl::KeyFor(int64_t frame) const {
    int64_t key = KeyBefore(frame);
    for (;;) {
        // Once one key frame turned out to start a gradual refresh, the others are taken to.
        const auto known = Leading.find(key);
        const int64_t leading = known != Leading.end() ? known->second
                                : Gradual              ? KeyAfter(KeyAfter(key)) - key
                                                       : 0;
        if (key <= 0 || frame >= key + leading)
            return key;
        const int64_t earlier = KeyBefore(key - 1);
        if (earlier < 0 || earlier >= key)
            return key;
        key = earlier;
    }
}

void TVideoDecoder::TImpl::Seek(int64_t key) {
    int ret = key >= 0
                  ? av_seek_frame(Format.get(), Stream->index, FramePts(key), AVSEEK_FLAG_BACKWARD)
                  : -1;
    if (ret < 0)
        ret = av_seek_frame(Format.get(), Stream->index, StartPts,
                            AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (ret < 0)
        CheckDSResult(ret);
    avcodec_flush_buffers(Codec.get());
    Palettes.Sought();
    FlushSent = false;
    LastFedDts = AV_NOPTS_VALUE;
    Slots.clear();
    Ahead.clear();
    Unnumbered.clear();
    Anchored = false;
    Placed = false;
    PreviousOut = -1;
    SkippedSinceSeek = false;
    SeekKey = std::max<int64_t>(key, 0);
    Last = {};
    Recovered = false;
    Unrecovered = 0;
    ShowFrom = 0;
    LeadingB = Codec->codec_id == AV_CODEC_ID_MPEG4 && key > 0 ? 2 : 0;
}

// A newer frame is taken on while the walk has fed nothing past it (so no B-frame it needs was
// skipped) and reaches its key frame without a seek.
int64_t TVideoDecoder::TImpl::Retarget(int64_t target, int64_t at) {
    if (!*NewerFrame)
        return target;
    const int64_t newer = (*NewerFrame)();
    const int64_t fed = LastFedDts == AV_NOPTS_VALUE ? at : SlotOf(LastFedDts);
    if (newer < 0 || newer == target || newer <= std::max(fed, at) ||
        KeyFor(newer) > at + ForwardReach)
        return target;
    Want = SkipUpTo = newer;
    return newer;
}

void TVideoDecoder::TImpl::Keep(const TVideoPicture& picture) {
    Last = ClonePicture(picture);
}

TVideoDecoder::TVideoDecoder(const std::string& path, int threads) : Common(new TCommon) {
    Common->Path = path;
    Common->Threads = threads;
    Walkers.push_back(MakeWalker());
    First = Current = Walkers.front().get();
}

std::unique_ptr<TVideoDecoder::TImpl> TVideoDecoder::MakeWalker() {
    auto walker = std::make_unique<TImpl>();
    walker->OnPicture = &OnPicture;
    walker->NewerFrame = &NewerFrame;
    walker->OnPassed = &OnPassed;
    walker->Common = Common.get();
    walker->Open(Common->Path, Common->Threads);
    return walker;
}

TVideoDecoder::~TVideoDecoder() = default;

int TVideoDecoder::Width() const {
    return First->Codec->width;
}
int TVideoDecoder::Height() const {
    return First->Codec->height;
}
double TVideoDecoder::FrameRate() const {
    return av_q2d(First->Rate);
}
const AVCodecContext* TVideoDecoder::Codec() const {
    return First->Codec.get();
}
const TFrameClock& TVideoDecoder::Clock() const {
    return First->Clock;
}
int64_t TVideoDecoder::Target() const {
    return Common->Target;
}

int64_t TVideoDecoder::Duration() const {
    return StreamDuration(*First->Format, *First->Stream);
}

int64_t TVideoDecoder::FrameTime(int64_t frame) const {
    return First->Clock.FrameStart(frame);
}

int64_t TVideoDecoder::TimeToFrame(int64_t time) const {
    return First->Clock.FrameAt(time);
}

void TVideoDecoder::KeepRecent(size_t bytes) {
    Common->Recent = TRecentPictures(bytes);
}

void TVideoDecoder::KeepWalkers(int most) {
    const AVCodecContext& codec = *First->Codec;
    const int frame = av_image_get_buffer_size(codec.pix_fmt, codec.width, codec.height, 1);
    // Each walker's decoder holds its references and a picture a frame thread.
    constexpr int64_t Budget = int64_t(96) << 20, PerWalker = 20;
    const int64_t fit = frame > 0 ? Budget / (PerWalker * frame) : 1;
    Common->MostWalkers = size_t(std::clamp<int64_t>(std::min<int64_t>(most, fit), 1, 8));
}

bool TVideoDecoder::DecodeAt(int64_t time, TVideoPicture& picture) {
    const int64_t target = TimeToFrame(time);
    if (Common->Recent.Find(target, picture)) {
        Common->Served = picture.FrameNumber;
        Common->Target = target;
        return true;
    }
    Common->Served = -1;
    return Walk(Choose(target), target, picture);
}

// The walker that decodes on to the frame; else one to seek: an unused one, one in the
// frame's group (its place is worth no more than the frame's), a new one, or the one unused
// longest.
TVideoDecoder::TImpl& TVideoDecoder::Choose(int64_t target) {
    TImpl* best = nullptr;
    for (const auto& w : Walkers)
        if (w->Reaches(target) && (!best || w->Last.FrameNumber > best->Last.FrameNumber))
            best = w.get();
    if (best)
        return *best;
    const int64_t key = First->KeyFor(target);
    for (const auto& w : Walkers)
        if (!w->Last.Frame || w->KeyFor(w->Last.FrameNumber) == key)
            return *w;
    if (Walkers.size() < Common->MostWalkers) {
        Walkers.push_back(MakeWalker());
        return *Walkers.back();
    }
    return **std::min_element(Walkers.begin(), Walkers.end(),
                              [](const auto& a, const auto& b) { return a->LastUse < b->LastUse; });
}

bool TVideoDecoder::Walk(TImpl& d, int64_t target, TVideoPicture& picture) {
    Current = &d;
    d.LastUse = ++Common->Uses;
    d.Want = target;
    d.SkipUpTo = target;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int64_t key = d.KeyFor(target);
        const bool seek = !d.Reaches(target);
        TVideoPicture best;
        if (seek)
            d.Seek(key);
        else
            best = std::move(d.Last);
        d.Passing.clear();
        TVideoPicture next;
        while (d.Next(next)) {
            // Unless a B-frame was skipped, the slots up to the next picture repeat this one.
            for (; !d.Passing.empty() && next.FrameNumber > d.Passing.front();
                 d.Passing.pop_front())
                if (best.FrameNumber == d.Passing.front() || !d.SkippedSinceSeek)
                    Pass(best);
            if (next.FrameNumber > target) {
                d.Ahead.push_front(std::move(next));
                break;
            }
            best = std::move(next);
            const int64_t newer = d.Retarget(target, best.FrameNumber);
            if (newer != target && best.FrameNumber == target)
                Pass(best);
            else if (newer != target)
                d.Passing.push_back(target);
            target = newer;
        }
        // A leading picture of the key frame sought to, which only an earlier one shows.
        if (!best.Frame && d.KeyFor(target) != key)
            continue;
        if (!best.Frame && !d.Ahead.empty()) {
            best = std::move(d.Ahead.front());
            d.Ahead.pop_front();
        }
        if (!best.Frame)
            return false;
        d.Keep(best);
        Common->Target = target;
        picture = std::move(best);
        return true;
    }
    return false;
}

// The picture of a frame asked for before the newer one the walk went on to.
void TVideoDecoder::Pass(const TVideoPicture& picture) {
    if (picture.Frame && OnPassed)
        OnPassed(picture);
}

bool TVideoDecoder::DecodeNext(TVideoPicture& picture) {
    if (Common->Served >= 0) {
        const int64_t served = std::exchange(Common->Served, -1);
        if (Common->Recent.FindNext(served, picture)) {
            Common->Served = picture.FrameNumber;
            return true;
        }
        // Kept pictures end here: a walker goes to this one first, unless it stands there.
        TImpl* there = nullptr;
        for (const auto& w : Walkers)
            if (w->Last.Frame && w->Last.FrameNumber == served)
                there = w.get();
        TVideoPicture again;
        if (there)
            Current = there;
        else if (!Walk(Choose(served), served, again))
            return false;
    }
    TImpl& d = *Current;
    d.LastUse = ++Common->Uses;
    d.Want = INT64_MAX;
    TVideoPicture next;
    if (!d.Next(next))
        return false;
    d.Keep(next);
    picture = std::move(next);
    return true;
}

} // namespace zarvex::media
