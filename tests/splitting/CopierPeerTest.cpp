// The copier on AVI files made by ffmpeg, judged by tools and code that share nothing with it:
// ffmpeg's decoder, ffprobe's packet hashes, and audio bytes and frame headers read straight
// from the files.
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/RiffScan.h"
#include "fixtures/Tools.h"
#include "splitting/Joiner.h"
#include "splitting/ZarvexCls.h"
#include "support/Endian.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// ---- What ffprobe says about the video --------------------------------------------------------

struct TVideoPacket {
    int64_t Pts = -1; // the entry number: empty chunks keep their slot
    int64_t Size = -1;
    bool Key = false;
    std::string Hash;
};

// The MD5 of every video packet, as ffmpeg's framemd5 gives it, plus the key flag.
std::vector<TVideoPacket> VideoPackets(const std::string& file) {
    const auto r = RunCapture("ffprobe -v error -select_streams v:0 -show_data_hash MD5 "
                              "-show_entries packet=pts,size,flags,data_hash -of compact " +
                              ShellQuote(file) + " </dev/null");
    std::vector<TVideoPacket> packets;
    if (r.ExitCode != 0)
        return packets;
    std::stringstream in(r.Output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("packet|", 0) != 0)
            continue;
        auto f = CompactFields(line);
        TVideoPacket p;
        p.Pts = std::strtoll(f["pts"].c_str(), nullptr, 10);
        p.Size = std::strtoll(f["size"].c_str(), nullptr, 10);
        p.Key = !f["flags"].empty() && f["flags"][0] == 'K';
        p.Hash = f["data_hash"];
        packets.push_back(p);
    }
    return packets;
}

std::string DecodeErrors(const std::string& file) {
    const auto r = RunCapture("ffmpeg -nostdin -v error -xerror -i " + ShellQuote(file) +
                              " -f null - 2>&1 </dev/null");
    return r.ExitCode == 0 ? r.Output : "exit code " + std::to_string(r.ExitCode) + ": " + r.Output;
}

// ---- The file read by hand: headers, the audio chunks, where the RIFF lists lie ---------------

enum class TAudioCodec { Pcm, Mp3, Ac3 };

struct TFileFacts {
    uint32_t VideoScale = 0, VideoRate = 0;
    uint32_t AudioScale = 0, AudioRate = 0, AudioSampleSize = 0;
    uint16_t FormatTag = 0, BlockAlign = 0;
    uint32_t SampleRate = 0;
    std::vector<uint8_t> AudioBytes;     // every '01wb' payload in file order
    std::vector<uint32_t> AudioChunks;   // their sizes, empty ones included
    std::vector<uint64_t> VideoChunkPos; // '00dc' headers in file order: one per entry
    uint64_t AvixPos = 0;                // 0: a single RIFF list
};

TFileFacts ReadFacts(const std::string& file) {
    TFileFacts f;
    const auto chunks = ScanRiff(file);
    std::vector<std::vector<uint8_t>> strh, strf;
    std::ifstream in(file, std::ios::binary);
    for (const TScannedChunk& c : chunks) {
        if (c.Id == "strh")
            strh.push_back(FileBytes(file, c.Pos + 8, c.Size));
        else if (c.Id == "strf")
            strf.push_back(FileBytes(file, c.Pos + 8, c.Size));
        else if (c.Id == "RIFF" && c.Type == "AVIX" && f.AvixPos == 0)
            f.AvixPos = c.Pos;
        else if (c.Id == "00dc" || c.Id == "00db")
            f.VideoChunkPos.push_back(c.Pos);
        else if (c.Id == "01wb") {
            f.AudioChunks.push_back(c.Size);
            const size_t at = f.AudioBytes.size();
            f.AudioBytes.resize(at + c.Size);
            in.seekg(std::streamoff(c.Pos + 8));
            in.read(reinterpret_cast<char*>(f.AudioBytes.data() + at), c.Size);
        }
    }
    if (strh.size() >= 2 && strh[0].size() >= 48 && strh[1].size() >= 48 && strf.size() >= 2 &&
        strf[1].size() >= 16) {
        f.VideoScale = GetU32(strh[0].data() + 20);
        f.VideoRate = GetU32(strh[0].data() + 24);
        f.AudioScale = GetU32(strh[1].data() + 20);
        f.AudioRate = GetU32(strh[1].data() + 24);
        f.AudioSampleSize = GetU32(strh[1].data() + 44);
        f.FormatTag = GetU16(strf[1].data());
        f.SampleRate = GetU32(strf[1].data() + 4);
        f.BlockAlign = GetU16(strf[1].data() + 12);
    }
    return f;
}

// Frame lengths for the only kinds the sources hold (MPEG-1 Layer III, AC-3 at 48 kHz); written
// apart from the copier's parser, so that both cannot share a mistake.
uint32_t Mp3FrameBytes(const uint8_t* p, size_t n) {
    static const uint32_t kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                      112, 128, 160, 192, 224, 256, 320, 0};
    static const uint32_t rates[4] = {44100, 48000, 32000, 0};
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xFE) != 0xFA)
        return 0;
    const uint32_t br = kbps[p[2] >> 4], sr = rates[(p[2] >> 2) & 3];
    if (br == 0 || sr == 0)
        return 0;
    return 144000 * br / sr + ((p[2] >> 1) & 1);
}

uint32_t Ac3FrameBytes(const uint8_t* p, size_t n) {
    static const uint32_t kbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                      192, 224, 256, 320, 384, 448, 512, 576, 640};
    if (n < 5 || p[0] != 0x0B || p[1] != 0x77 || (p[4] >> 6) != 0 || (p[4] & 0x3F) >= 38)
        return 0;
    return 4 * kbps[(p[4] & 0x3F) / 2]; // two words per kbit/s at 48 kHz
}

uint32_t FrameBytes(TAudioCodec codec, const uint8_t* p, size_t n) {
    return codec == TAudioCodec::Mp3 ? Mp3FrameBytes(p, n) : Ac3FrameBytes(p, n);
}

// Frame starts of a clean stream, plus its end; empty when the bytes are not whole frames.
std::vector<uint64_t> FrameStarts(TAudioCodec codec, const std::vector<uint8_t>& bytes) {
    std::vector<uint64_t> starts;
    uint64_t at = 0;
    while (at < bytes.size()) {
        const uint32_t n = FrameBytes(codec, bytes.data() + at, bytes.size() - at);
        if (n == 0 || at + n > bytes.size())
            return {};
        starts.push_back(at);
        at += n;
    }
    starts.push_back(at);
    return starts;
}

bool IsFrameStart(const std::vector<uint64_t>& starts, uint64_t at) {
    return std::binary_search(starts.begin(), starts.end(), at);
}

// ---- Sources ----------------------------------------------------------------------------------

enum class TCounting {
    Frames,    // as ffmpeg writes: one frame per chunk, timed by chunk
    Bytes,     // ffmpeg's chunks, headers patched to count bytes as old encoders did
    Rechunked, // byte-counted, the bytes cut into chunks that ignore frame boundaries
};

struct TCut {
    int32_t First, Last;
};

struct TKind {
    const char* Name;
    TAudioCodec Codec;
    TCounting Counting;
    bool Large;
};

// S (the start of key frame 76) and E lie inside an audio chunk in every small kind, so the
// copier must cut or drop a chunk at both ends; frame 89 is not a key frame. Then the start,
// the end, and a lone key frame, whose span holds less than one audio frame.
const TCut SmallCuts[] = {{89, 233}, {0, 60}, {150, 100000}, {100, 120}, {121, 121}};
// Across the start of the 'AVIX' list, and wholly inside it.
const TCut LargeCuts[] = {{3580, 3660}, {3650, 3745}};

const TKind Kinds[] = {
    {"Pcm", TAudioCodec::Pcm, TCounting::Bytes, false},
    {"Mp3FrameCounted", TAudioCodec::Mp3, TCounting::Frames, false},
    {"Mp3ByteCounted", TAudioCodec::Mp3, TCounting::Bytes, false},
    {"Mp3ByteCountedOddChunks", TAudioCodec::Mp3, TCounting::Rechunked, false},
    {"Ac3FrameCounted", TAudioCodec::Ac3, TCounting::Frames, false},
    {"Ac3ByteCounted", TAudioCodec::Ac3, TCounting::Bytes, false},
    {"Ac3ByteCountedOddChunks", TAudioCodec::Ac3, TCounting::Rechunked, false},
    {"Mp3Over1GiB", TAudioCodec::Mp3, TCounting::Frames, true},
};

void PrintTo(const TKind& kind, std::ostream* os) {
    *os << kind.Name;
}

bool Run(const std::string& command) {
    return RunCapture(command + " </dev/null").ExitCode == 0;
}

// Pink noise: no two audio frames alike, so a slice of the output is found in one place only.
std::string Noise(uint32_t rate) {
    return "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=7:sample_rate=" +
           std::to_string(rate);
}

// Turns ffmpeg's audio stream into a byte-counted one in place.
void PatchToByteCounted(const std::string& file) {
    const auto chunks = ScanRiff(file);
    std::vector<uint64_t> strh, strf;
    for (const TScannedChunk& c : chunks) {
        if (c.Id == "strh")
            strh.push_back(c.Pos + 8);
        if (c.Id == "strf")
            strf.push_back(c.Pos + 8);
    }
    ASSERT_GE(strh.size(), 2u);
    const TFileFacts facts = ReadFacts(file);
    const uint32_t bytesPerSec = FileU32(file, strf[1] + 8);
    std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
    auto put = [&](uint64_t pos, uint32_t v, int width) {
        uint8_t b[4];
        PutU32(b, v);
        io.seekp(std::streamoff(pos));
        io.write(reinterpret_cast<char*>(b), width);
    };
    put(strh[1] + 20, 1, 4);                                 // dwScale
    put(strh[1] + 24, bytesPerSec, 4);                       // dwRate
    put(strh[1] + 32, uint32_t(facts.AudioBytes.size()), 4); // dwLength
    put(strh[1] + 44, 1, 4);                                 // dwSampleSize
    put(strf[1] + 12, 1, 2);                                 // nBlockAlign
    ASSERT_TRUE(io.good());
}

// Rewrites a file with its audio bytes in chunks of a fixed size, declared byte-counted (one
// byte a sample, blocks of blockAlign), and interleaved by time with the video.
void Rechunk(const std::string& from, const std::string& to, uint32_t chunkBytes,
             uint16_t blockAlign = 1) {
    TAVIFileReader reader;
    reader.Open(from);
    ASSERT_EQ(reader.StreamCount(), 2);
    const TAVIStream& video = reader.Streams(0);
    const TAVIStream& audio = reader.Streams(1);
    std::vector<uint8_t> bytes, chunk;
    for (uint32_t i = 0; i < audio.EntryCount(); ++i) {
        chunk.resize(std::max<uint32_t>(audio.EntrySize(i), 1));
        ASSERT_TRUE(audio.ReadChunk(i, chunk.data()));
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + audio.EntrySize(i));
    }
    std::vector<uint8_t> format = audio.Format;
    const uint32_t bytesPerSec = GetU32(format.data() + 8);
    PutU16(format.data() + 12, blockAlign);
    AVIStreamHeader header = audio.Header;
    header.dwScale = 1;
    header.dwRate = bytesPerSec;
    header.dwSampleSize = 1;

    TAVIFileWriter writer;
    writer.Open(to, AVIF_HASINDEX);
    writer.AddStream(0, video.Header, video.Format.data(), int32_t(video.Format.size()));
    writer.AddStream(1, header, format.data(), int32_t(format.size()));
    size_t written = 0;
    for (uint32_t i = 0; i < video.EntryCount(); ++i) {
        const double t = video.EntryTime(i);
        while (written < bytes.size() && double(written) / bytesPerSec <= t) {
            const uint32_t n = uint32_t(std::min<size_t>(chunkBytes, bytes.size() - written));
            writer.WriteChunk(1, bytes.data() + written, true, int32_t(n));
            written += n;
        }
        chunk.resize(std::max<uint32_t>(video.EntrySize(i), 1));
        ASSERT_TRUE(video.ReadChunk(i, chunk.data()));
        writer.WriteChunk(0, chunk.data(), video.IsKeyFrame(i), int32_t(video.EntrySize(i)));
    }
    for (; written < bytes.size(); written += chunkBytes) {
        const uint32_t n = uint32_t(std::min<size_t>(chunkBytes, bytes.size() - written));
        writer.WriteChunk(1, bytes.data() + written, true, int32_t(n));
    }
    writer.Close();
}

struct TSource {
    TTempDir Dir;
    bool Failed = false;
    std::string File;
    std::vector<TVideoPacket> Video;
    TFileFacts Facts;
    std::vector<uint64_t> Frames;      // audio frame starts within Facts.AudioBytes
    std::vector<uint64_t> ChunkStarts; // audio chunk starts within Facts.AudioBytes, and the end

    double VideoTime(int64_t entry) const {
        return double(entry) * Facts.VideoScale / Facts.VideoRate;
    }
    double AudioBytesPerSec() const {
        return double(Facts.AudioSampleSize) * Facts.AudioRate / Facts.AudioScale;
    }
    // One audio frame, or one sample for PCM: the error a correct cut may make at either end.
    double Tolerance(TAudioCodec codec) const {
        const double samples = codec == TAudioCodec::Mp3   ? 1152
                               : codec == TAudioCodec::Ac3 ? 1536
                                                           : 1;
        return samples / Facts.SampleRate + 1e-6;
    }
    // The time of an audio byte offset; -1 when a frame-counted stream has no chunk start there.
    double AudioTime(uint64_t at) const {
        if (Facts.AudioSampleSize > 0)
            return double(at) / AudioBytesPerSec();
        auto it = std::lower_bound(ChunkStarts.begin(), ChunkStarts.end(), at);
        if (it == ChunkStarts.end() || *it != at)
            return -1;
        return double(it - ChunkStarts.begin()) * Facts.AudioScale / Facts.AudioRate;
    }
    // True when t falls inside an audio chunk, away from its ends.
    bool InsideAudioChunk(double t) const {
        for (size_t j = 0; j + 1 < ChunkStarts.size(); ++j) {
            const double t0 = AudioTime(ChunkStarts[j]);
            const double t1 = Facts.AudioSampleSize > 0
                                  ? AudioTime(ChunkStarts[j + 1])
                                  : double(j + 1) * Facts.AudioScale / Facts.AudioRate;
            if (t0 + 1e-4 < t && t < t1 - 1e-4)
                return true;
        }
        return false;
    }
    int64_t KeyFrameAtOrBefore(int64_t entry) const {
        int64_t key = -1;
        for (const TVideoPacket& p : Video)
            if (p.Pts <= entry && p.Key)
                key = p.Pts;
        return key;
    }
};

void MakeSource(const TKind& kind, TSource& src) {
    const std::string tmp = src.Dir.File("ffmpeg.avi");
    const std::string audioArgs = kind.Codec == TAudioCodec::Pcm ? Noise(44100) + " -c:a pcm_s16le"
                                  : kind.Codec == TAudioCodec::Mp3
                                      ? Noise(44100) + " -c:a libmp3lame -b:a 128k"
                                      : Noise(48000) + " -c:a ac3 -b:a 192k";
    const std::string made = kind.Counting == TCounting::Rechunked ? tmp : src.File;
    if (kind.Large) {
        // 1.1 GB in seconds: 263 noisy frames at 7 MB/s encoded once, then looped by stream copy.
        const std::string clip = src.Dir.File("clip.avi");
        ASSERT_TRUE(Run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=640x480:rate=25 "
                        "-vf noise=alls=30:allf=t -frames:v 263 -c:v mpeg4 -q:v 2 -g 25 " +
                        ShellQuote(clip)));
        ASSERT_TRUE(Run("ffmpeg -nostdin -v error -stream_loop -1 -i " + ShellQuote(clip) + " " +
                        audioArgs + " -ac 2 -map 0:v -map 1:a -c:v copy -t 150 " +
                        ShellQuote(made)));
        std::filesystem::remove(clip);
    } else {
        ASSERT_TRUE(Run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=25 " +
                        audioArgs + " -ac 2 -t 10 -c:v mpeg4 -g 15 " + ShellQuote(made)));
    }
    if (kind.Counting == TCounting::Bytes && kind.Codec != TAudioCodec::Pcm) {
        ASSERT_NO_FATAL_FAILURE(PatchToByteCounted(src.File));
    }
    if (kind.Counting == TCounting::Rechunked) {
        // 1100 bytes: neither a multiple of a frame nor of the bytes in one second.
        ASSERT_NO_FATAL_FAILURE(Rechunk(tmp, src.File, 1100));
        std::filesystem::remove(tmp);
    }
    src.Video = VideoPackets(src.File);
    ASSERT_FALSE(src.Video.empty());
    src.Facts = ReadFacts(src.File);
    ASSERT_GT(src.Facts.SampleRate, 0u);
    ASSERT_EQ(src.Facts.AudioSampleSize > 0, kind.Counting != TCounting::Frames);
    ASSERT_EQ(src.Facts.VideoChunkPos.size(), size_t(src.Video.back().Pts + 1));
    uint64_t at = 0;
    for (uint32_t size : src.Facts.AudioChunks) {
        src.ChunkStarts.push_back(at);
        at += size;
    }
    src.ChunkStarts.push_back(at);
    if (kind.Codec != TAudioCodec::Pcm) {
        src.Frames = FrameStarts(kind.Codec, src.Facts.AudioBytes);
        ASSERT_FALSE(src.Frames.empty()) << "the source's own audio is not whole frames";
    }
    if (kind.Large) {
        ASSERT_GT(std::filesystem::file_size(src.File), uint64_t(1) << 30);
        ASSERT_GT(src.Facts.AvixPos, 0u) << "no second RIFF list";
    }
}

// ---- The checks -------------------------------------------------------------------------------

// The output's video packets are the source's entries first..last, hashes and slots alike.
::testing::AssertionResult VideoMatches(const TSource& src, const std::vector<TVideoPacket>& out,
                                        int64_t first, int64_t last) {
    std::vector<const TVideoPacket*> want;
    for (const TVideoPacket& p : src.Video)
        if (first <= p.Pts && p.Pts <= last)
            want.push_back(&p);
    if (want.size() != out.size())
        return ::testing::AssertionFailure()
               << "video packets: " << out.size() << ", source has " << want.size()
               << " in entries " << first << ".." << last;
    for (size_t k = 0; k < out.size(); ++k) {
        const TVideoPacket& w = *want[k];
        if (out[k].Size != w.Size || out[k].Hash != w.Hash || out[k].Pts != w.Pts - first)
            return ::testing::AssertionFailure()
                   << "video packet " << k << ": pts " << out[k].Pts << " size " << out[k].Size
                   << " " << out[k].Hash << "; source entry " << w.Pts << " size " << w.Size << " "
                   << w.Hash;
    }
    return ::testing::AssertionSuccess();
}

// The output's audio is one unaltered slice of the source's, beginning and ending on frame
// boundaries (whole samples for PCM, whole chunks when counted by frames), and it spans the
// video's times from the first copied frame to the start of the last.
void ExpectAudioMatches(const TKind& kind, const TSource& src, const std::string& out,
                        int64_t first, int64_t last) {
    const TFileFacts o = ReadFacts(out);
    const double S = src.VideoTime(first), E = src.VideoTime(last);
    const double tol = src.Tolerance(kind.Codec);
    const std::vector<uint8_t>& bytes = o.AudioBytes;
    if (bytes.empty()) {
        EXPECT_LE(E - S, tol) << "no audio in a span of " << E - S << " s";
        return;
    }
    const auto& all = src.Facts.AudioBytes;
    const auto found = std::search(all.begin(), all.end(), bytes.begin(), bytes.end());
    ASSERT_NE(found, all.end()) << "the output's " << bytes.size()
                                << " audio bytes are no slice of the source's audio";
    const uint64_t begin = uint64_t(found - all.begin()), end = begin + bytes.size();
    SCOPED_TRACE("output audio = source audio bytes " + std::to_string(begin) + ".." +
                 std::to_string(end));

    if (kind.Codec == TAudioCodec::Pcm) {
        EXPECT_EQ(begin % src.Facts.BlockAlign, 0u) << "cut inside a sample";
        EXPECT_EQ(end % src.Facts.BlockAlign, 0u) << "cut inside a sample";
    } else {
        // Decoders resynchronise silently, so frame boundaries are checked on the bytes.
        std::vector<size_t> nonEmpty;
        for (size_t j = 0; j < o.AudioChunks.size(); ++j)
            if (o.AudioChunks[j] > 0)
                nonEmpty.push_back(j);
        std::vector<uint64_t> offsets{0};
        for (uint32_t size : o.AudioChunks)
            offsets.push_back(offsets.back() + size);
        const size_t f = nonEmpty.front(), l = nonEmpty.back();
        // With one frame to a chunk in the source, each end chunk must hold whole frames; with
        // odd chunks, frames run across chunks, so only the outer edges can be checked.
        const bool aligned = kind.Counting != TCounting::Rechunked;
        auto check = [&](size_t chunk, uint64_t edge, const char* what) {
            EXPECT_TRUE(IsFrameStart(src.Frames, begin + edge))
                << "output audio chunk " << chunk << " (of " << o.AudioChunks.size() << ", "
                << o.AudioChunks[chunk] << " bytes) " << what
                << " inside a frame, at source audio byte " << begin + edge;
        };
        check(f, offsets[f], "starts");
        check(l, offsets[l + 1], "ends");
        if (aligned) {
            check(f, offsets[f + 1], "ends");
            check(l, offsets[l], "starts");
        }
        EXPECT_NE(FrameBytes(kind.Codec, bytes.data(), bytes.size()), 0u)
            << "the output's audio does not start with a frame header";
        EXPECT_FALSE(FrameStarts(kind.Codec, bytes).empty())
            << "the output's audio bytes are not a run of whole frames";
    }
    if (kind.Counting == TCounting::Frames) {
        // Timed by chunk: the chunks themselves must be the source's, not only the bytes.
        const auto at = std::lower_bound(src.ChunkStarts.begin(), src.ChunkStarts.end(), begin);
        ASSERT_TRUE(at != src.ChunkStarts.end() && *at == begin) << "a chunk was cut";
        const size_t k = size_t(at - src.ChunkStarts.begin());
        for (size_t j = 0; j < o.AudioChunks.size(); ++j)
            ASSERT_EQ(o.AudioChunks[j], src.Facts.AudioChunks[k + j])
                << "output audio chunk " << j << " is not source chunk " << k + j;
    }
    const double A0 = src.AudioTime(begin), A1 = src.AudioTime(end);
    EXPECT_NEAR(A0, S, tol) << "audio starts at source time " << A0 << ", video at " << S;
    EXPECT_NEAR(A1, E, tol) << "audio ends at source time " << A1 << ", the last frame starts at "
                            << E;
    if (kind.Counting == TCounting::Frames) {
        // Whole chunks go with the span when they start inside it: no earlier one, no later one.
        EXPECT_GE(A0, S - 1e-6) << "an audio chunk starting before the span was copied";
        EXPECT_GE(A1, E - 1e-6) << "the audio chunk playing at the last frame is missing";
    }
}

// Everything asked of any output covering source entries first..last.
void ExpectOutputMatches(const TKind& kind, const TSource& src, const std::string& out,
                         const std::vector<TVideoPacket>& packets, int64_t first, int64_t last,
                         bool decode) {
    if (decode) {
        EXPECT_EQ(DecodeErrors(out), "");
    }
    EXPECT_TRUE(VideoMatches(src, packets, first, last));
    ExpectAudioMatches(kind, src, out, first, last);
}

class CopierPeerTest : public ::testing::TestWithParam<TKind> {
protected:
    // Sources are made once per kind and shared by the cut and split cases.
    static const TSource& Source(const TKind& kind) {
        auto& slot = Sources()[kind.Name];
        if (!slot) {
            slot = std::make_unique<TSource>();
            slot->File = slot->Dir.File("source.avi");
            MakeSource(kind, *slot);
            slot->Failed = ::testing::Test::HasFatalFailure();
        }
        return *slot;
    }
    static void TearDownTestSuite() { Sources().clear(); }

    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
    }

private:
    static std::map<std::string, std::unique_ptr<TSource>>& Sources() {
        static std::map<std::string, std::unique_ptr<TSource>> sources;
        return sources;
    }
};

} // namespace

TEST_P(CopierPeerTest, CutCopiesTheRangeAndWholeAudioFrames) {
    const TKind& kind = GetParam();
    const TSource& src = Source(kind);
    ASSERT_FALSE(src.Failed) << "no source file";
    std::vector<TCut> cuts;
    if (kind.Large)
        cuts.assign(std::begin(LargeCuts), std::end(LargeCuts));
    else
        cuts.assign(std::begin(SmallCuts), std::end(SmallCuts));
    const int64_t lastEntry = src.Video.back().Pts;
    TTempDir dir;
    for (size_t c = 0; c < cuts.size(); ++c) {
        const int64_t last = std::min<int64_t>(cuts[c].Last, lastEntry);
        const int64_t key = src.KeyFrameAtOrBefore(cuts[c].First);
        SCOPED_TRACE("cut of frames " + std::to_string(cuts[c].First) + ".." +
                     std::to_string(cuts[c].Last) + " (copied from key frame " +
                     std::to_string(key) + ")");
        if (c == 0) {
            // Without these the checks below could pass with a copier that never cuts.
            ASSERT_NE(key, cuts[c].First);
            ASSERT_TRUE(src.InsideAudioChunk(src.VideoTime(key)));
            ASSERT_TRUE(src.InsideAudioChunk(src.VideoTime(last)));
        }
        if (kind.Large && c == 0) {
            ASSERT_LT(src.Facts.VideoChunkPos[size_t(key)], src.Facts.AvixPos);
            ASSERT_GT(src.Facts.VideoChunkPos[size_t(last)], src.Facts.AvixPos);
        }
        const std::string out = dir.File("cut" + std::to_string(c) + ".avi");
        {
            TAVIFileReader reader;
            reader.Open(src.File);
            TZarvex copier(reader);
            copier.FileName = out;
            copier.CopySegment(cuts[c].First, cuts[c].Last);
        }
        ExpectOutputMatches(kind, src, out, VideoPackets(out), key, last, true);
    }
}

TEST_P(CopierPeerTest, SplitPartsHoldEveryFrameOnce) {
    const TKind& kind = GetParam();
    const TSource& src = Source(kind);
    ASSERT_FALSE(src.Failed) << "no source file";
    TTempDir dir;
    const std::string folder = dir.File("parts");
    std::filesystem::create_directories(folder);
    {
        TAVIFileReader reader;
        reader.Open(src.File);
        TZarvex copier(reader);
        ASSERT_TRUE(copier.SplitIntoParts(10, folder, "part"));
    }
    std::vector<std::string> parts;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        parts.push_back(e.path().string());
    std::sort(parts.begin(), parts.end());
    // Parts close at the first key frame past their share, so sparse key frames give fewer.
    ASSERT_GE(parts.size(), 5u);
    ASSERT_LE(parts.size(), 11u);
    // Each part is the source's entries from where the last one ended (the shared key frame)
    // to its own end; chained that way, every packet of the source is in exactly one part once
    // the first packet of every later part is dropped.
    int64_t first = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        SCOPED_TRACE("part " + parts[i]);
        const std::vector<TVideoPacket> packets = VideoPackets(parts[i]);
        ASSERT_FALSE(packets.empty());
        EXPECT_EQ(src.KeyFrameAtOrBefore(first), first) << "a part starts at a non-key frame";
        const int64_t last = first + packets.back().Pts;
        // Decoding 1 GiB of parts would cost more than it finds; the cuts decode it.
        ExpectOutputMatches(kind, src, parts[i], packets, first, last, !kind.Large);
        if (HasFatalFailure())
            return;
        first = last;
    }
    EXPECT_EQ(first, src.Video.back().Pts) << "the parts end before the source does";
}

INSTANTIATE_TEST_SUITE_P(FfmpegSources, CopierPeerTest, ::testing::ValuesIn(Kinds),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- Files laid out as other writers do -------------------------------------------------------

namespace {

std::string MjpegPcm(const TTempDir& dir, const std::string& rate) {
    const std::string file = dir.File("mjpeg-" + std::to_string(rate.size()) + ".avi");
    EXPECT_TRUE(Run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=160x120:rate=" + rate +
                    " " + Noise(48000) + " -ac 2 -t 3 -c:v mjpeg -c:a pcm_s16le " +
                    ShellQuote(file)));
    return file;
}

// The streams and payloads of an ffmpeg file, in time order, written again by the builder with
// the layout's index style and capture habits; video key flags are kept or all cleared.
void Relayout(const std::string& from, TAviLayout layout, const std::string& to, bool keys) {
    TAVIFileReader r;
    r.Open(from);
    for (int i = 0; i < r.StreamCount(); ++i)
        layout.Streams.push_back({r.Streams(i).Header, r.Streams(i).Format, true});
    std::vector<std::pair<int, int>> order;
    r.ResetCursors();
    int s = 0, e = 0;
    for (r.NextChunk(s, e); s >= 0; r.NextChunk(s, e)) {
        const bool video = &r.Streams(s) == r.VideoStream();
        layout.Chunks.push_back({s, r.Streams(s).EntrySize(e), !video || keys});
        order.push_back({s, e});
    }
    TBuiltAvi built = BuildAvi(layout);
    std::vector<size_t> next(size_t(r.StreamCount()), 0);
    for (const auto& [stream, entry] : order) {
        const int64_t at = built.Entries[size_t(stream)][next[size_t(stream)]++].Offset;
        ASSERT_TRUE(r.Streams(stream).ReadChunk(entry, built.Bytes.data() + at));
    }
    WriteFileBytes(to, built.Bytes);
}

// Payload positions per stream as ffprobe finds them through the index.
std::map<int, std::vector<int64_t>> ProbedPositions(const std::string& file) {
    const auto r =
        RunCapture("ffprobe -v error -show_entries packet=stream_index,pos -of csv=p=0 " +
                   ShellQuote(file) + " </dev/null");
    std::map<int, std::vector<int64_t>> out;
    std::stringstream in(r.Output);
    std::string line;
    while (std::getline(in, line))
        if (const auto comma = line.find(','); comma != std::string::npos)
            out[std::stoi(line.substr(0, comma))].push_back(std::stoll(line.substr(comma + 1)));
    return out;
}

// (size, hash) of every packet of every stream, as ffmpeg's framemd5 lists them.
std::map<int, std::vector<std::string>> PacketHashes(const std::string& file) {
    const auto r = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(file) +
                              " -map 0 -c copy -f framemd5 - </dev/null");
    std::map<int, std::vector<std::string>> out;
    std::stringstream in(r.Output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');)
            f.push_back(x.substr(x.find_first_not_of(' ')));
        if (f.size() == 6)
            out[std::stoi(f[0])].push_back(f[4] + " " + f[5]);
    }
    return out;
}

std::string Cut(const std::string& source, const std::string& out, int32_t first, int32_t last) {
    TAVIFileReader reader;
    reader.Open(source);
    TZarvex copier(reader);
    copier.FileName = out;
    copier.CopySegment(first, last);
    return out;
}

class OtherWritersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
    }
    TTempDir Dir;
};

} // namespace

TEST_F(OtherWritersTest, Idx1OfCaptureToolsIsReadAtTheRightOffsets) {
    // Relative 'idx1' whose first entry is a 'rec ' list, or a reserved '7Fxx' entry of size 0.
    const std::string source = MjpegPcm(Dir, "25");
    TAviLayout rec;
    rec.RecLists = true;
    rec.RecIdx1Entries = true;
    TAviLayout reserved;
    reserved.LeadingIdx1Ids = {MakeFourCC('7', 'F', 'x', 'x')};
    int n = 0;
    for (const TAviLayout& layout : {rec, reserved}) {
        const std::string file = Dir.File("capture" + std::to_string(++n) + ".avi");
        ASSERT_NO_FATAL_FAILURE(Relayout(source, layout, file, true));
        TAVIFileReader r;
        r.Open(file);
        const auto probed = ProbedPositions(file);
        for (int s = 0; s < 2; ++s) {
            std::vector<int64_t> ours;
            TAVIIndexEntry e;
            for (uint32_t i = 0; r.Streams(s).GetEntry(i, e); ++i)
                ours.push_back(e.Offset);
            ASSERT_EQ(ours, probed.at(s)) << file << " stream " << s;
        }
        const std::string out = Cut(file, Dir.File("cut.avi"), 5, 30);
        EXPECT_EQ(DecodeErrors(out), "") << file;
        EXPECT_EQ(VideoPackets(out).size(), 26u) << file;
    }
}

TEST_F(OtherWritersTest, MjpegWithoutKeyFlagsIsCutWhereAsked) {
    const std::string source = MjpegPcm(Dir, "25");
    const std::string file = Dir.File("unflagged.avi");
    ASSERT_NO_FATAL_FAILURE(Relayout(source, TAviLayout(), file, false));
    const auto frames = VideoPackets(file);
    ASSERT_GT(frames.size(), 30u);
    const auto out = VideoPackets(Cut(file, Dir.File("cut.avi"), 7, 20));
    ASSERT_EQ(out.size(), 14u);
    EXPECT_EQ(out.front().Hash, frames[7].Hash);
    EXPECT_EQ(DecodeErrors(Dir.File("cut.avi")), "");
    {
        TAVIFileReader reader;
        reader.Open(file);
        TZarvex copier(reader);
        ASSERT_TRUE(copier.SplitIntoParts(3, Dir.Path().string(), "part"));
    }
    // Without key frames there would be one part, the whole file.
    for (const char* part : {"part1.avi", "part2.avi", "part3.avi"}) {
        EXPECT_GT(VideoPackets(Dir.File(part)).size(), 1u) << part;
        EXPECT_EQ(DecodeErrors(Dir.File(part)), "") << part;
    }
}

TEST_F(OtherWritersTest, PcmCutsHoldNoEmptyChunkAndWholeSampleFrames) {
    // ffmpeg's own file, cut at its start: the chunk ending at frame 8's start used to be
    // written empty, which ffmpeg's PCM decoder refuses.
    const std::string plain = Cut(MjpegPcm(Dir, "25"), Dir.File("plain.avi"), 0, 8);
    EXPECT_EQ(DecodeErrors(plain), "");
    for (uint32_t size : ReadFacts(plain).AudioChunks)
        EXPECT_GT(size, 0u);

    // The same sound declared in bytes (sample size 1, block 4), a chunk of about one frame
    // each, under 29.97 fps video whose frame starts fall inside sample frames.
    const std::string bytes = Dir.File("bytes.avi");
    ASSERT_NO_FATAL_FAILURE(Rechunk(MjpegPcm(Dir, "30000/1001"), bytes, 6404, 4));
    const TFileFacts source = ReadFacts(bytes);
    ASSERT_EQ(source.AudioSampleSize, 1u);
    ASSERT_EQ(source.BlockAlign, 4);
    for (const TCut cut : {TCut{0, 8}, TCut{9, 21}, TCut{31, 59}}) {
        const std::string out = Cut(bytes, Dir.File("cut.avi"), cut.First, cut.Last);
        SCOPED_TRACE("frames " + std::to_string(cut.First) + ".." + std::to_string(cut.Last));
        EXPECT_EQ(DecodeErrors(out), "");
        const TFileFacts o = ReadFacts(out);
        for (uint32_t size : o.AudioChunks)
            EXPECT_TRUE(size > 0 && size % 4 == 0) << size;
        const auto at = std::search(source.AudioBytes.begin(), source.AudioBytes.end(),
                                    o.AudioBytes.begin(), o.AudioBytes.end());
        ASSERT_NE(at, source.AudioBytes.end());
        EXPECT_EQ((at - source.AudioBytes.begin()) % 4, 0);
    }
}

TEST_F(OtherWritersTest, StreamsPastTenAreFoundAndCopied) {
    const std::string file = Dir.File("twelve.avi");
    std::string maps = "-map 0:v";
    for (int i = 0; i < 11; ++i)
        maps += " -map 1:a";
    ASSERT_TRUE(::Run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=160x120:rate=25 " +
                      Noise(44100) + " -ac 2 -t 2 " + maps + " -c:v mjpeg -c:a pcm_s16le " +
                      ShellQuote(file)));
    const auto source = PacketHashes(file);
    ASSERT_EQ(source.size(), 12u);
    {
        TAVIFileReader reader;
        reader.Open(file);
        ASSERT_EQ(reader.StreamCount(), 12);
        for (int s = 0; s < 12; ++s)
            EXPECT_EQ(reader.Streams(s).EntryCount(), source.at(s).size()) << "stream " << s;
    }
    const std::string out = Cut(file, Dir.File("cut.avi"), 0, 49);
    EXPECT_EQ(DecodeErrors(out), "");
    const auto copied = PacketHashes(out);
    ASSERT_EQ(copied.size(), 12u);
    EXPECT_EQ(copied.at(0), source.at(0)) << "every frame";
    ASSERT_FALSE(copied.at(1).empty());
    for (int s : {10, 11})
        EXPECT_EQ(copied.at(s), copied.at(1)) << "stream " << s << " is copied as stream 1 is";
}

// ---- Open groups -------------------------------------------------------------------------------

// The MD5 of every decoded picture, in the order shown.
std::vector<std::string> PictureHashes(const std::string& file) {
    const auto r = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(file) +
                              " -map 0:v -vsync passthrough -f framemd5 - 2>/dev/null");
    std::vector<std::string> hashes;
    std::stringstream in(r.Output);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            hashes.push_back(line.substr(line.rfind(',') + 2));
    return hashes;
}

// An open group's leading pictures refer to the group before it: a cut from its key frame
// writes them as empty chunks, keeping every slot, and decodes cleanly, with the slices whose
// reference marking named the group before written without those commands; a split keeps
// them, so that its parts still join back into the source.
TEST(OpenGroupCopyTest, LeadingPicturesAreEmptyInACutAndKeptInASplit) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    const std::string x264 = "-c:v libx264 -bf 3 -x264-params open-gop=1:scenecut=0:";
    for (const std::string& args :
         {std::string(":rate=25 -c:v mpeg4 -bf 2 -g 50 -sc_threshold 1000000000"),
          ":rate=25 " + x264 + "keyint=50:min-keyint=50:b-pyramid=none",
          ":rate=25 -coder 0 " + x264 + "keyint=50:min-keyint=50:slices=2",
          ":rate=30 " + x264 + "keyint=60:min-keyint=60",
          ":rate=30 -coder 0 " + x264 + "keyint=60:min-keyint=60:b-pyramid=none"}) {
        SCOPED_TRACE(args);
        TTempDir dir;
        const std::string source = dir.File("open.avi"), out = dir.File("cut.avi");
        ASSERT_EQ(RunCapture("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120" + args +
                             " -t 8 " + ShellQuote(source) + " </dev/null")
                      .ExitCode,
                  0);
        TAVIFileReader reader;
        reader.Open(source);
        const int32_t key = reader.VideoStream()->CopyStart(150);
        ASSERT_GT(key, 0);
        TZarvex copier(reader);
        copier.FileName = out;
        copier.CopySegment(150, 190);
        TAVIFileReader written;
        written.Open(out);
        const TAVIStream& in = *reader.VideoStream();
        const TAVIStream& cut = *written.VideoStream();
        ASSERT_EQ(cut.EntryCount(), size_t(190 - key + 1));
        EXPECT_EQ(cut.EntrySize(1), 0u) << "the first leading picture is kept";
        int64_t changed = 0;
        for (int64_t i = 0; i < int64_t(cut.EntryCount()); ++i)
            if (cut.EntrySize(i) != 0 && cut.EntrySize(i) != in.EntrySize(key + i))
                changed += i < 8 ? 1 : 1000;
        EXPECT_LE(changed, 2) << "only slices right after the leading pictures are rewritten";
        EXPECT_EQ(DecodeErrors(out), "");
        const std::vector<std::string> all = PictureHashes(source), shown = PictureHashes(out);
        EXPECT_GE(shown.size(), cut.EntryCount() - 4);
        for (const std::string& hash : shown)
            EXPECT_NE(std::find(all.begin(), all.end(), hash), all.end()) << "a damaged picture";
        const std::string folder = dir.File("parts");
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(copier.SplitIntoParts(2, folder, "part"));
        size_t packets = 0, parts = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            packets += VideoPackets(e.path().string()).size();
            ++parts;
        }
        // Parts share their key frames: each later part starts on its predecessor's last one.
        EXPECT_EQ(packets, VideoPackets(source).size() + parts - 1);
        // Two ranges kept: the second piece's decoder must not go on from the first piece's.
        const std::string kept = dir.File("kept.avi");
        TJoiner().Write({{&reader, {60, 90}}, {&reader, {150, 190}}}, kept);
        EXPECT_EQ(DecodeErrors(kept), "");
        const std::vector<std::string> joined = PictureHashes(kept);
        EXPECT_GE(joined.size(), size_t(90 - 60 + 190 - 150));
        ptrdiff_t previous = -1;
        for (const std::string& hash : joined) {
            const ptrdiff_t at = std::find(all.begin(), all.end(), hash) - all.begin();
            EXPECT_LT(at, ptrdiff_t(all.size())) << "a damaged picture";
            EXPECT_GT(at, previous) << "a picture out of its place";
            previous = std::max(previous, at);
        }
    }
}
