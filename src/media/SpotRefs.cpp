#include "media/SpotPasses.h"

#include <cstring>

namespace zarvex::media::spots {

namespace {

// The coding type of the one VOP of an MPEG-4 packet: 0 I, 1 P, 2 B, 3 S; -1 for none, -2 for
// several (a packed bitstream).
int VopType(const AVPacket& p) {
    static const uint8_t code[4] = {0, 0, 1, 0xB6};
    const void* at = memmem(p.data, size_t(p.size), code, 4);
    if (!at)
        return -1;
    const uint8_t* vop = static_cast<const uint8_t*>(at);
    const size_t left = size_t(p.data + p.size - vop);
    if (left < 5)
        return -1;
    if (memmem(vop + 4, left - 4, code, 4))
        return -2;
    return vop[4] >> 6;
}

} // namespace

void TBlackRefsPass::Run(TPassState& state) {
    AVStream& stream = Reader.Stream();
    const double frameSeconds = av_q2d(stream.time_base);
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder)
        Check(AVERROR_DECODER_NOT_FOUND);
    TCodecContextPtr codec(avcodec_alloc_context3(decoder));
    if (!codec)
        throw std::bad_alloc();
    Check(avcodec_parameters_to_context(codec.get(), stream.codecpar));
    codec->pkt_timebase = stream.time_base;
    codec->lowres = decoder->max_lowres;
    codec->skip_loop_filter = AVDISCARD_ALL;
    codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    codec->flags2 |= AV_CODEC_FLAG2_FAST;
    codec->thread_count = 1;
    Check(avcodec_open2(codec.get(), decoder, nullptr));
    if (From > 0 && !Reader.SeekTo(From))
        throw EZarvexError("The file cannot seek.");
    bool lastBlack = false, beforeBlack = false, filterBlack = false;
    int refs = 0, bRun = 0, longestBRun = 2;
    int64_t counter = 0;
    TFramePtr frame = MakeFrame();
    Reader.Read(state, [&](AVPacket& packet) {
        const int64_t chunk = packet.dts == AV_NOPTS_VALUE ? LastChunk + 1 : packet.dts;
        if (Stop >= 0 && chunk >= Stop)
            return false;
        if (First < 0 && From > 0 && chunk != From) {
            Misplaced = true;
            return false;
        }
        First = std::max<int64_t>(First, chunk);
        LastChunk = chunk;
        if (packet.size == 0)
            return true;
        const int type = VopType(packet);
        if (type == -2) {
            Packed = true;
            return false;
        }
        const bool b = type == 2;
        HasB = HasB || b;
        bRun = b ? bRun + 1 : 0;
        longestBRun = std::max(longestBRun, bRun);
        // Skipped: B-frames between two pictures that are not black, in runs too short to
        // hold a black run on their own; after a seek, those shown before the key frame.
        const bool skip = b && ((From > 0 && refs < 2) ||
                                (!lastBlack && !beforeBlack &&
                                 longestBRun * frameSeconds < Options.BlackSeconds - 1e-9));
        if (skip) {
            Pictures.push_back({chunk, false, false});
            return true;
        }
        const int sent = avcodec_send_packet(codec.get(), &packet);
        if (sent < 0 && sent != AVERROR_INVALIDDATA)
            Check(sent);
        while (avcodec_receive_frame(codec.get(), frame.get()) >= 0) {
            if (!Chain.IsOpen())
                OpenChain(frame->width, frame->height, frame->format);
            frame->pts = counter++;
            // The filter tells where runs start and end, in the order it is fed.
            bool& black = filterBlack;
            Chain.Push(frame.get(), [&](AVFrame& f) {
                if (Meta(f, "lavfi.black_start"))
                    black = true;
                if (Meta(f, "lavfi.black_end"))
                    black = false;
            });
            if (!b) {
                ++refs;
                beforeBlack = lastBlack;
                lastBlack = black;
            }
            Pictures.push_back({chunk, !b, black});
            av_frame_unref(frame.get());
        }
        return true;
    });
}

// Opens the filter on the decoder's picture size, known once it is open.
void TBlackRefsPass::OpenChain(int width, int height, int format) {
    char source[160];
    const AVRational base = Reader.Stream().time_base;
    std::snprintf(source, sizeof source,
                  "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", width, height,
                  format, base.num, base.den);
    Chain.Open(false, source,
               "blackdetect=d=0:pic_th=" + Number(Options.PictureBlack) +
                   ":pix_th=" + Number(Options.PixelBlack));
}

// Pictures in the order they are shown, a B-frame before the reference decoded ahead of it,
// on the slots of the chunks that hold them in turn, as every other part of the program places
// them; an empty chunk's slot repeats the picture before.
std::vector<TSpot> BlackOfPictures(const std::vector<TBlackRefsPass*>& parts, int64_t frames,
                                   const TFrameClock& clock, double minSeconds) {
    bool hasB = false;
    int64_t lastChunk = -1;
    for (const TBlackRefsPass* p : parts) {
        hasB = hasB || p->HasB;
        lastChunk = std::max(lastChunk, p->LastChunk);
    }
    // (when shown, black), the chunks in order beside them.
    std::vector<std::pair<int64_t, bool>> shownOrder;
    std::vector<int64_t> chunks;
    int64_t pending = -1;
    bool pendingBlack = false;
    for (const TBlackRefsPass* part : parts)
        for (const TPicture& p : part->Pictures) {
            chunks.push_back(p.Chunk);
            if (!hasB || !p.Ref) {
                shownOrder.emplace_back(p.Chunk, p.Black);
                continue;
            }
            // A reference is shown after the B-frames that follow it in the file.
            if (pending >= 0)
                shownOrder.emplace_back(p.Chunk, pendingBlack);
            pending = p.Chunk;
            pendingBlack = p.Black;
        }
    if (pending >= 0)
        shownOrder.emplace_back(lastChunk + 1, pendingBlack);
    std::stable_sort(shownOrder.begin(), shownOrder.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    const int64_t count = std::max(frames, lastChunk + 1);
    std::vector<int8_t> slots(size_t(std::max<int64_t>(count, 0)), -1);
    for (size_t i = 0; i < chunks.size() && i < shownOrder.size(); ++i)
        if (chunks[i] >= 0 && chunks[i] < count)
            slots[size_t(chunks[i])] = shownOrder[i].second;
    std::vector<TSpot> black;
    auto seconds = [&](int64_t f) { return double(clock.FrameStart(f)) / Units; };
    int8_t shown = 0;
    int64_t from = -1;
    for (int64_t f = 0; f <= count; ++f) {
        if (f < count && slots[size_t(f)] >= 0)
            shown = slots[size_t(f)];
        const bool isBlack = f < count && shown;
        if (isBlack && from < 0)
            from = f;
        if (!isBlack && from >= 0) {
            if (seconds(f) - seconds(from) >= minSeconds - 1e-9)
                black.push_back({TSpotKind::Black, from, f - 1, seconds(from), seconds(f), 0});
            from = -1;
        }
    }
    return black;
}

} // namespace zarvex::media::spots
