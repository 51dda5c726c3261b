#include "media/ExactJoin.h"

#include "avi_input/AVIStream.h"
#include "avi_input/BitReader.h"
#include "avi_input/FourCC.h"
#include "avi_input/KeyFrameMpeg.h"
#include "avi_input/RefMarking.h"
#include "media/MatchedEncoder.h"
#include "support/Endian.h"

#include <algorithm>

namespace zarvex::media {

namespace {

constexpr size_t BitmapHeaderBytes = 40;

int64_t FirstNonEmpty(const TAVIStream& video) {
    for (int64_t i = 0; i < int64_t(video.EntryCount()); ++i)
        if (video.EntrySize(i) > 0)
            return i;
    return -1;
}

std::vector<uint8_t> Extradata(const TAVIStream& video) {
    if (video.Format.size() <= BitmapHeaderBytes)
        return {};
    return {video.Format.begin() + BitmapHeaderBytes, video.Format.end()};
}

// The start code values in data, in order, each with the position of its 00 00 01.
std::vector<std::pair<uint8_t, size_t>> StartCodes(const std::vector<uint8_t>& data) {
    std::vector<std::pair<uint8_t, size_t>> codes;
    for (size_t at = AfterStartCode(data.data(), data.size(), 0); at < data.size();
         at = AfterStartCode(data.data(), data.size(), at))
        codes.emplace_back(data[at], at - 3);
    return codes;
}

// MPEG-4 Part 2: the bytes before the first VOP, when they hold a VOL header.
std::vector<uint8_t> Mpeg4Headers(const std::vector<uint8_t>& data) {
    bool vol = false;
    for (const auto& [code, at] : StartCodes(data)) {
        if (code >= 0x20 && code <= 0x2F)
            vol = true;
        if (code == 0xB6)
            return vol ? std::vector<uint8_t>(data.begin(), data.begin() + std::ptrdiff_t(at))
                       : std::vector<uint8_t>{};
    }
    return vol ? data : std::vector<uint8_t>{};
}

// H.264 with start codes: its parameter sets (SPS and PPS), each with a 4-byte start code.
std::vector<uint8_t> H264ParameterSets(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    const auto codes = StartCodes(data);
    for (size_t i = 0; i < codes.size(); ++i) {
        const uint8_t type = codes[i].first & 0x1F;
        if (type != 7 && type != 8)
            continue;
        const size_t from = codes[i].second + 3;
        size_t to = i + 1 < codes.size() ? codes[i + 1].second : data.size();
        while (to > from && data[to - 1] == 0) // a 4-byte start code's leading zero
            --to;
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), data.begin() + std::ptrdiff_t(from),
                   data.begin() + std::ptrdiff_t(to));
    }
    return out;
}

// avcC codec data: its SPS and PPS with start codes.
std::vector<uint8_t> AvcCParameterSets(const std::vector<uint8_t>& avcc) {
    std::vector<uint8_t> out;
    size_t at = 5;
    for (int list = 0; list < 2 && at < avcc.size(); ++list) {
        const int count = list == 0 ? (avcc[at] & 0x1F) : avcc[at];
        ++at;
        for (int k = 0; k < count && at + 2 <= avcc.size(); ++k) {
            const size_t n = size_t(avcc[at]) << 8 | avcc[at + 1];
            at += 2;
            if (at + n > avcc.size())
                return out;
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), avcc.begin() + std::ptrdiff_t(at),
                       avcc.begin() + std::ptrdiff_t(at + n));
            at += n;
        }
    }
    return out;
}

bool H264HasSps(const std::vector<uint8_t>& data) {
    for (const auto& [code, at] : StartCodes(data)) {
        const uint8_t type = code & 0x1F;
        if (type == 7)
            return true;
        if (type == 1 || type == 5)
            return false;
    }
    return false;
}

bool HasStartCode(const std::vector<uint8_t>& data) {
    return data.size() >= 4 && data[0] == 0 && data[1] == 0 &&
           (data[2] == 1 || (data[2] == 0 && data[3] == 1));
}

// MPEG-4 Part 2: the user data blocks of the headers (start code 1B2 up to the next code).
std::vector<uint8_t> Mpeg4UserData(const std::vector<uint8_t>& headers) {
    std::vector<uint8_t> out;
    const auto codes = StartCodes(headers);
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i].first == 0xB2) {
            const size_t end = i + 1 < codes.size() ? codes[i + 1].second : headers.size();
            out.insert(out.end(), headers.begin() + std::ptrdiff_t(codes[i].second),
                       headers.begin() + std::ptrdiff_t(end));
        }
    return out;
}

// Of an MPEG-4 VOL (the bytes after its start code): where sprite_enable stands, its width
// (1 bit for version 1, else 2) and value, and for GMC the 9 bits of its settings. Width 0 when
// the VOL could not be read this far or its shape is not rectangular.
struct TVolSprite {
    uint64_t At = 0;
    int Width = 0;
    uint32_t Enable = 0;
    uint32_t Gmc = 0;
};

TVolSprite ReadVolSprite(const uint8_t* data, size_t size) {
    TBitReader bits(data, size);
    bits.Skip(1 + 8); // random_accessible_vol, video_object_type_indication
    uint32_t verid = 1;
    if (bits.Bit()) {
        verid = bits.Read(4);
        bits.Skip(3);
    }
    if (bits.Read(4) == 15)
        bits.Skip(16); // extended pixel aspect ratio
    if (bits.Bit()) {  // vol_control_parameters
        bits.Skip(3);
        if (bits.Bit())
            bits.Skip(79); // vbv parameters with their markers
    }
    const uint32_t shape = bits.Read(2);
    bits.Skip(1);
    const uint32_t resolution = bits.Read(16);
    bits.Skip(1);
    if (bits.Bit()) { // fixed_vop_rate
        int count = 1;
        while ((1u << count) < resolution)
            ++count;
        bits.Skip(count);
    }
    bits.Skip(1 + 13 + 1 + 13 + 1 + 2); // size with markers, interlaced, obmc_disable
    TVolSprite v;
    v.At = bits.Position();
    v.Width = verid == 1 ? 1 : 2;
    v.Enable = bits.Read(v.Width);
    if (v.Enable == 2)
        v.Gmc = bits.Read(9); // warping points, accuracy, brightness change
    if (bits.Overrun() || shape != 0)
        v.Width = 0;
    return v;
}

// Where the VOL's bytes after its start code lie in data: [from, to); from = to for none.
std::pair<size_t, size_t> VolSpan(const std::vector<uint8_t>& data) {
    const auto codes = StartCodes(data);
    for (size_t i = 0; i < codes.size(); ++i)
        if (codes[i].first >= 0x20 && codes[i].first <= 0x2F) {
            const size_t to = i + 1 < codes.size() ? codes[i + 1].second : data.size();
            return {codes[i].second + 4, to};
        }
    return {0, 0};
}

} // namespace

uint32_t RawVideoCode(const TAVIStream& video) {
    const uint32_t compression = video.Format.size() >= 20 ? GetU32(video.Format.data() + 16) : 0;
    return compression ? compression : video.Header.fccHandler;
}

std::string VideoCodeText(const TAVIStream& video) {
    return FourCCToStr(UpperFourCC(RawVideoCode(video)));
}

TBitstream BitstreamOf(const TAVIStream& video) {
    const std::string code = VideoCodeText(video);
    if (code == "XVID" || code == "DIVX" || code == "DX50" || code == "FMP4" || code == "MP4V")
        return TBitstream::Mpeg4;
    if (code == "DIV3" || code == "MP43")
        return TBitstream::MsMpeg4;
    if (code == "H264" || code == "X264" || code == "AVC1")
        return TBitstream::H264;
    return TBitstream::Other;
}

std::vector<uint8_t> JoinHeaderFor(const TAVIStream& video, int64_t entry) {
    const TBitstream kind = BitstreamOf(video);
    if (kind != TBitstream::Mpeg4 && kind != TBitstream::H264)
        return {};
    const std::vector<uint8_t> chunk = video.ChunkBytes(entry);
    const int64_t first = FirstNonEmpty(video);
    const std::vector<uint8_t> opening =
        first >= 0 ? video.ChunkBytes(first) : std::vector<uint8_t>{};
    const std::vector<uint8_t> extra = Extradata(video);
    if (kind == TBitstream::Mpeg4) {
        // The stream's opening headers also hold the encoder's user data, by which decoders
        // choose how to decode its pictures; key frames that repeat the VOL often leave it out.
        std::vector<uint8_t> headers = Mpeg4Headers(opening);
        if (headers.empty())
            headers = Mpeg4Headers(extra);
        return headers == Mpeg4Headers(chunk) ? std::vector<uint8_t>{} : headers;
    }
    if (H264HasSps(chunk))
        return {};
    std::vector<uint8_t> sets =
        !extra.empty() && extra[0] == 1 ? AvcCParameterSets(extra) : H264ParameterSets(extra);
    return sets.empty() ? H264ParameterSets(opening) : sets;
}

namespace {

// H.264: whether a decode from chunk `entry` shows every picture after it as a decode from the
// start does: an IDR picture, or an I picture whose recovery point is the picture itself (an
// open group's; an intra refresh's recovers frames later).
bool DecodesCleanFrom(const TAVIStream& video, int64_t entry) {
    if (BitstreamOf(video) != TBitstream::H264)
        return true;
    const std::vector<uint8_t> data = video.ChunkBytes(entry);
    bool recovered = false;
    for (const auto& [code, at] : StartCodes(data)) {
        const int type = code & 0x1F;
        const size_t from = at + 4;
        if (type == 5)
            return true;
        if (type == 6 && from + 2 < data.size() && data[from] == 6) { // the first message only
            TBitReader bits(data.data() + from + 2, data.size() - from - 2);
            recovered = bits.Ue() == 0 && !bits.Overrun(); // recovery_frame_cnt
        }
        if (type == 1) {
            TBitReader bits(data.data() + from, data.size() - from);
            bits.Ue();
            return recovered && bits.Ue() % 5 == 2 && !bits.Overrun();
        }
    }
    return false;
}

} // namespace

bool CopyCanStartAt(const TAVIStream& video, int64_t entry) {
    return DecodesCleanFrom(video, entry);
}

bool OpensWithoutIdr(const TAVIStream& video, int64_t entry) {
    if (BitstreamOf(video) != TBitstream::H264)
        return false;
    for (const auto& [code, at] : StartCodes(video.ChunkBytes(entry)))
        if ((code & 0x1F) == 5)
            return false;
    return true;
}

namespace {

// The pictures from an IDR picture on after which the key frame's frame number comes next
// (a frame number of 0 follows a whole range of them), as many as the run can hold back.
size_t PicturesFromIdr(const TPictureOrder& key) {
    const uint32_t count = key.FrameNum == 0 ? key.FrameNumRange : key.FrameNum;
    return std::min<size_t>(count, TMatchedEncoder::MostHeld);
}

} // namespace

int PicturesAfterIdr(const TAVIStream& video, int64_t key) {
    const auto order = PictureOrderOf(video, key);
    return order ? int(PicturesFromIdr(*order)) : -1;
}

bool CloseBefore(const TAVIStream& video, int64_t key, std::vector<TRecodedChunk>& run,
                 uint32_t& held, uint32_t& drop) {
    held = drop = 0;
    std::vector<TRecodedChunk*> coded; // the run's last pictures, from the IDR picture on
    for (auto chunk = run.rbegin(); chunk != run.rend(); ++chunk)
        if (!chunk->Data.empty())
            coded.insert(coded.begin(), &*chunk);
    if (coded.empty()) // nothing before the key frame
        return true;
    const auto order = PictureOrderOf(video, key);
    if (!order)
        return false;
    const size_t fromIdr = PicturesFromIdr(*order);
    if (coded.size() > fromIdr)
        coded.erase(coded.begin(), coded.end() - std::ptrdiff_t(fromIdr));
    const std::vector<uint8_t> sets = coded.front()->Data; // x264 repeats them at IDR pictures
    const auto own = PictureOrderIn(sets, sets);
    // Each picture of the run two orders above the one before (as x264 counts), the last just
    // below the key frame's, whose order the decoder then counts on from it.
    constexpr uint32_t Step = 2;
    if (!IsIdrChunk(sets) || !own || own->Range < order->Range || order->Lsb < Step)
        return false;
    for (size_t i = 0; i < coded.size(); ++i) {
        const uint64_t below = uint64_t(Step) * (coded.size() - i);
        const auto lsb = uint32_t((order->Lsb + uint64_t(own->Range) * 64 - below) % own->Range);
        if (!SetPocLsb(coded[i]->Data, sets, lsb))
            return false;
    }
    // A shorter run ends on a lower frame number than the key frame's: the copy counts on
    // from the run's.
    const auto last = PictureOrderIn(coded.back()->Data, sets);
    if (!last || last->FrameNumRange != order->FrameNumRange)
        return false;
    const uint32_t next = (last->FrameNum + (last->Reference ? 1 : 0)) % last->FrameNumRange;
    drop = (order->FrameNum + order->FrameNumRange - next) % order->FrameNumRange;
    held = std::min(uint32_t(coded.size()), ReferenceFramesOf(sets));
    return true;
}

int64_t PackedBStart(const TAVIStream& video, int64_t entry) {
    if (BitstreamOf(video) != TBitstream::Mpeg4)
        return -1;
    const std::vector<uint8_t> data = video.ChunkBytes(entry);
    bool intra = false;
    for (const auto& [code, at] : StartCodes(data)) {
        if (code != 0xB6 || at + 4 >= data.size())
            continue;
        const int type = data[at + 4] >> 6;
        if (intra)
            return type == 2 ? int64_t(at) : -1;
        if (type != 0)
            return -1;
        intra = true;
    }
    return -1;
}

int64_t CleanStart(const TAVIStream& video, int64_t entry, int back) {
    int64_t key = video.CopyStart(entry);
    for (; key > 0; key = std::max<int64_t>(video.PrevKeyFrame(key), 0)) {
        if (back > 0)
            --back;
        else if (DecodesCleanFrom(video, key))
            break;
    }
    return key;
}

namespace {

// The source's own MPEG-4 headers: those of its first picture, else of its codec data.
std::vector<uint8_t> SourceMpeg4Headers(const TAVIStream& video) {
    const int64_t first = FirstNonEmpty(video);
    std::vector<uint8_t> headers =
        first >= 0 ? Mpeg4Headers(video.ChunkBytes(first)) : std::vector<uint8_t>{};
    return headers.empty() ? Mpeg4Headers(Extradata(video)) : headers;
}

} // namespace

void AddSourceUserData(const TAVIStream& video, std::vector<uint8_t>& chunk) {
    if (BitstreamOf(video) != TBitstream::Mpeg4)
        return;
    const std::vector<uint8_t> user = Mpeg4UserData(SourceMpeg4Headers(video));
    // Right after the VOL, before any GOV: readers take the headers up to the first GOV or VOP
    // as the stream's codec data, by which their decoder is set up once and for all.
    for (const auto& [code, at] : StartCodes(chunk))
        if (code == 0xB3 || code == 0xB6) {
            chunk.insert(chunk.begin() + std::ptrdiff_t(at), user.begin(), user.end());
            return;
        }
}

void MatchSourceSprites(const TAVIStream& video, std::vector<uint8_t>& chunk) {
    if (BitstreamOf(video) != TBitstream::Mpeg4)
        return;
    const std::vector<uint8_t> source = SourceMpeg4Headers(video);
    const auto [sFrom, sTo] = VolSpan(source);
    const auto [from, to] = VolSpan(chunk);
    if (sFrom == sTo || from == to)
        return;
    const TVolSprite want = ReadVolSprite(source.data() + sFrom, sTo - sFrom);
    const TVolSprite have = ReadVolSprite(chunk.data() + from, to - from);
    if (want.Width == 0 || want.Enable != 2 || have.Width != 2 || have.Enable != 0)
        return;
    // The VOL ends with stuffing: a 0 bit, then 1 bits up to the byte boundary.
    const uint8_t last = chunk[to - 1];
    int ones = 0;
    while (ones < 8 && (last >> ones & 1))
        ++ones;
    const uint64_t end = uint64_t(to - from) * 8 - uint64_t(ones) - 1;
    TBitReader in(chunk.data() + from, to - from);
    std::vector<uint8_t> out;
    uint64_t count = 0;
    const auto put = [&](uint32_t bit) {
        if (count % 8 == 0)
            out.push_back(0);
        out.back() |= uint8_t(bit << (7 - count % 8));
        ++count;
    };
    for (uint64_t i = 0; i < have.At; ++i)
        put(in.Bit());
    in.Skip(2);
    for (int i = 1; i >= 0; --i)
        put(2u >> i & 1);
    for (int i = 8; i >= 0; --i)
        put(want.Gmc >> i & 1);
    for (uint64_t i = have.At + 2; i < end; ++i)
        put(in.Bit());
    put(0);
    while (count % 8 != 0)
        put(1);
    chunk.erase(chunk.begin() + std::ptrdiff_t(from), chunk.begin() + std::ptrdiff_t(to));
    chunk.insert(chunk.begin() + std::ptrdiff_t(from), out.begin(), out.end());
}

std::string H264Refusal(const TAVIStream& video) {
    const int64_t first = FirstNonEmpty(video);
    if (first < 0 || HasStartCode(video.ChunkBytes(first)))
        return "";
    return "Its H.264 pictures are stored without start codes, which re-encoded pictures cannot "
           "join.";
}

} // namespace zarvex::media
