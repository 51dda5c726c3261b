#include "media/ExactJoin.h"

#include "avi_input/AVIStream.h"
#include "avi_input/FourCC.h"
#include "avi_input/KeyFrameMpeg.h"
#include "support/Endian.h"

#include <algorithm>

namespace zarvex::media {

namespace {

constexpr size_t BitmapHeaderBytes = 40;

std::vector<uint8_t> ChunkBytes(const TAVIStream& video, int64_t entry) {
    std::vector<uint8_t> data(video.EntrySize(entry));
    if (!data.empty() && !video.ReadChunk(entry, data.data()))
        data.clear();
    return data;
}

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
    const std::vector<uint8_t> chunk = ChunkBytes(video, entry);
    const int64_t first = FirstNonEmpty(video);
    const std::vector<uint8_t> opening =
        first >= 0 ? ChunkBytes(video, first) : std::vector<uint8_t>{};
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

bool CopyCanStartAt(const TAVIStream& video, int64_t entry) {
    if (BitstreamOf(video) != TBitstream::H264)
        return true;
    for (const auto& [code, at] : StartCodes(ChunkBytes(video, entry)))
        if ((code & 0x1F) == 5)
            return true;
    return false;
}

int64_t PackedBStart(const TAVIStream& video, int64_t entry) {
    if (BitstreamOf(video) != TBitstream::Mpeg4)
        return -1;
    const std::vector<uint8_t> data = ChunkBytes(video, entry);
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
        else if (CopyCanStartAt(video, key))
            break;
    }
    return key;
}

void AddSourceUserData(const TAVIStream& video, std::vector<uint8_t>& chunk) {
    if (BitstreamOf(video) != TBitstream::Mpeg4)
        return;
    const int64_t first = FirstNonEmpty(video);
    std::vector<uint8_t> headers =
        first >= 0 ? Mpeg4Headers(ChunkBytes(video, first)) : std::vector<uint8_t>{};
    if (headers.empty())
        headers = Mpeg4Headers(Extradata(video));
    const std::vector<uint8_t> user = Mpeg4UserData(headers);
    // Right after the VOL, before any GOV: readers take the headers up to the first GOV or VOP
    // as the stream's codec data, by which their decoder is set up once and for all.
    for (const auto& [code, at] : StartCodes(chunk))
        if (code == 0xB3 || code == 0xB6) {
            chunk.insert(chunk.begin() + std::ptrdiff_t(at), user.begin(), user.end());
            return;
        }
}

std::string H264Refusal(const TAVIStream& video) {
    const int64_t first = FirstNonEmpty(video);
    if (first < 0 || HasStartCode(ChunkBytes(video, first)))
        return "";
    return "Its H.264 pictures are stored without start codes, which re-encoded pictures cannot "
           "join.";
}

} // namespace zarvex::media
