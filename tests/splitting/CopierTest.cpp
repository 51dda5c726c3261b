#include "avi_input/FourCC.h"
#include "fixtures/CopierFixture.h"
#include "fixtures/RiffScan.h"
#include "support/Endian.h"

#include <algorithm>
#include <filesystem>
#include <numeric>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class CopierTest : public CopierFixture {
protected:
    std::string Out = Dir.File("out.avi");
    void Copy(int32_t first, int32_t last) {
        Engine->FileName = Out;
        Engine->CopySegment(first, last);
    }
    uint64_t TotalBytes(const std::vector<std::vector<uint8_t>>& chunks) {
        uint64_t n = 0;
        for (const auto& c : chunks)
            n += c.size();
        return n;
    }
};

auto Every(uint32_t n) {
    return [n](uint32_t f) { return f % n == 0; };
}

} // namespace

TEST_F(CopierTest, StartMovesBackToAKeyFrame) {
    Source(AvLayout(300, Every(100)));
    Copy(107, 150);
    auto video = Payloads(Out, 0);
    ASSERT_EQ(video.size(), 51u) << "frames 100 to 150";
    EXPECT_EQ(video.front(), SourcePayload(0, 100));
    EXPECT_EQ(video.back(), SourcePayload(0, 150));

    Source(AvLayout(60, [](uint32_t f) { return f == 20 || f == 40; }));
    Copy(5, 15);
    video = Payloads(Out, 0);
    ASSERT_EQ(video.size(), 16u) << "no key frame before 5: the copy starts at frame 0";
    EXPECT_EQ(video.front(), SourcePayload(0, 0));
}

TEST_F(CopierTest, AudioRunsFromTheFirstToTheLastFrameStart) {
    Source(AvLayout(250, Every(50)));
    Copy(100, 200);
    EXPECT_EQ(Payloads(Out, 0).size(), 101u) << "the last frame is included";
    auto audio = Payloads(Out, 1);
    EXPECT_EQ(TotalBytes(audio), uint64_t((8.0 - 4.0) * 44100 * 4)) << "4.0 s to 8.0 s";
    // The chunks that end exactly at 4.0 s and begin exactly at 8.0 s only touch the span:
    // nothing of them is written, not even an empty chunk.
    ASSERT_EQ(audio.size(), 100u);
    EXPECT_EQ(audio.front(), SourcePayload(1, 100));
    EXPECT_EQ(audio.back(), SourcePayload(1, 199));

    TAVIFileReader out;
    out.Open(Out);
    EXPECT_EQ(out.StreamCount(), 2);
    EXPECT_EQ(out.Streams(0).Header.dwRate, 25u);
    EXPECT_EQ(out.Streams(1).Header.dwSampleSize, 4u);
}

TEST_F(CopierTest, PcmChunksAreTrimmedToWholeSamples) {
    // A first audio chunk of 0.03 s shifts the grid: the chunk from 0.39 s to 0.43 s begins
    // 0.01 s before frame 10 (0.4 s) and loses 441 samples of 4 bytes from its front.
    Source(AvLayout(40, Every(10), 5292));
    Copy(10, 20);
    auto audio = Payloads(Out, 1);
    ASSERT_FALSE(audio.empty());
    const auto source = SourcePayload(1, 10);
    ASSERT_EQ(audio.front().size(), source.size() - 1764);
    EXPECT_TRUE(std::equal(audio.front().begin(), audio.front().end(), source.begin() + 1764));
    EXPECT_EQ(TotalBytes(audio), uint64_t(0.4 * 44100 * 4)) << "0.4 s to 0.8 s exactly";
    EXPECT_EQ(audio.back().size(), 1764u) << "the chunk from 0.79 s keeps 0.01 s";
}

TEST_F(CopierTest, OneAudioChunkCutAtBothEnds) {
    TAviLayout layout = SimpleLayout(0, 0, true, TIndexStyle::Idx1Relative);
    layout.Chunks.push_back({1, 44100 * 4 * 2, true}); // 2 s of sound in one chunk
    for (uint32_t f = 0; f < 50; ++f)
        layout.Chunks.push_back({0, 100, f % 10 == 0});
    Source(layout);
    Copy(10, 20);
    auto audio = Payloads(Out, 1);
    ASSERT_EQ(audio.size(), 1u);
    EXPECT_EQ(audio[0].size(), uint64_t(0.4 * 44100 * 4));
    auto source = SourcePayload(1, 0);
    EXPECT_TRUE(std::equal(audio[0].begin(), audio[0].end(), source.begin() + 17640 * 4));

    Copy(10, 10);
    EXPECT_EQ(Payloads(Out, 1).size(), 0u) << "a single frame holds no sound";
}

TEST_F(CopierTest, ByteCountedMp3IsCutBetweenFrames) {
    // MP3 at 128 kbit/s as old encoders stored it: one byte a sample, 16000 a second, in
    // chunks of 1000 bytes that do not line up with the 417/418-byte frames.
    std::vector<uint8_t> stream;
    for (int i = 0; stream.size() < 64000; ++i) {
        std::vector<uint8_t> f(i % 3 == 1 ? 418 : 417, uint8_t(i));
        f[0] = 0xFF, f[1] = 0xFB, f[2] = i % 3 == 1 ? 0x92 : 0x90, f[3] = 0x64;
        stream.insert(stream.end(), f.begin(), f.end());
    }
    TAviLayout layout = SimpleLayout(0, 0, false, TIndexStyle::Idx1Relative);
    layout.Streams.push_back({AudioHeader(16000, 1, 1), AudioFormat(0x55, 2, 44100, 1, 0), true});
    for (uint32_t f = 0; f < 100; ++f) {
        layout.Chunks.push_back({0, 100, f % 5 == 0});
        if (f % 2 == 0)
            layout.Chunks.push_back({1, 1000, true});
    }
    TBuiltAvi& built = Source(layout);
    for (size_t k = 0; k < built.Entries[1].size(); ++k)
        std::copy(stream.begin() + 1000 * k, stream.begin() + 1000 * (k + 1),
                  built.Bytes.begin() + built.Entries[1][k].Offset);
    SourcePath = Save(built.Bytes, "mp3.avi");
    Reader.Open(SourcePath);
    Engine = std::make_unique<TZarvex>(Reader);

    Copy(35, 61); // 1.4 s to 2.44 s: bytes 22400 to 39040, both inside chunks
    std::vector<uint8_t> audio;
    for (const auto& c : Payloads(Out, 1))
        audio.insert(audio.end(), c.begin(), c.end());
    ASSERT_GT(audio.size(), 4000u);
    // Every byte copied belongs to a whole frame: the walk from the start lands on the end.
    size_t at = 0;
    while (at < audio.size()) {
        ASSERT_EQ(audio[at], 0xFF) << "a frame header at " << at;
        at += (audio[at + 2] & 0x02) ? 418 : 417;
    }
    EXPECT_EQ(at, audio.size()) << "the last frame is whole";
    EXPECT_NEAR(double(audio.size()), 16640.0, 418.0) << "1.04 s of sound, to a frame";
}

TEST_F(CopierTest, ProgressRunsToTheEndAndCancelKeepsAValidFile) {
    Source(AvLayout(100, Every(10)));
    std::vector<double> seen;
    Engine->OnProgress = [&](TZarvex&, bool&, double p) { seen.push_back(p); };
    Copy(0, 99);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.back(), 100.0 * 100 / 99) << "copied frames over the frame span";
    EXPECT_EQ(seen.size(), 199u) << "after every written chunk, whatever its stream";

    seen.clear();
    Copy(30, 30);
    ASSERT_FALSE(seen.empty());
    EXPECT_DOUBLE_EQ(seen.front(), 100.0) << "one frame: nothing to divide by";

    int calls = 0;
    Engine->OnProgress = [&](TZarvex&, bool& cancel, double) { cancel = ++calls == 21; };
    Copy(0, 99);
    EXPECT_TRUE(Engine->Cancelled());
    TAVIFileReader out;
    out.Open(Out);
    EXPECT_EQ(out.Streams(0).EntryCount() + out.Streams(1).EntryCount(), 21u);
}

TEST_F(CopierTest, TheSourceIsNeverTheOutput) {
    Source(AvLayout(30, Every(10)));
    const auto before = Built.Bytes;
    std::filesystem::create_hard_link(SourcePath, Dir.File("hard.avi"));
    std::filesystem::create_symlink(SourcePath, Dir.File("soft.avi"));
    for (const std::string& name :
         {SourcePath, Dir.File("hard.avi"), Dir.File("soft.avi"), Dir.File("./source.avi")}) {
        Engine->FileName = name;
        try {
            Engine->CopySegment(0, 20);
            ADD_FAILURE() << "wrote over " << name;
        } catch (const EZarvexError& e) {
            EXPECT_STREQ(e.what(), "The output file is the source file.");
        }
        EXPECT_EQ(FileBytes(SourcePath), before) << name;
    }
}

TEST_F(CopierTest, EndsPastTheVideoAndEmptyVideo) {
    Source(AvLayout(50, Every(10)));
    Copy(20, 500); // an end mark past the last frame, where the audio runs longer
    EXPECT_EQ(Payloads(Out, 0).size(), 30u);

    TAviLayout silent = SimpleLayout(0, 0, true, TIndexStyle::Idx1Relative);
    silent.Chunks = {{1, 100, true}};
    Source(silent);
    Engine->FileName = Dir.File("none.avi");
    EXPECT_THROW(Engine->CopySegment(0, 10), EZarvexError);
    EXPECT_THROW(Engine->SplitIntoParts(2, Dir.Path().string(), "p"), EZarvexError);
    EXPECT_FALSE(std::filesystem::exists(Dir.File("none.avi"))) << "no frames: nothing written";
    EXPECT_FALSE(std::filesystem::exists(Dir.File("p1.avi")));
}

TEST_F(CopierTest, EveryStreamIsCopiedInTimeOrder) {
    TAviLayout layout = AvLayout(40, Every(10));
    AVIStreamHeader text = AudioHeader(25, 1, 0);
    text.fccType = MakeFourCC('t', 'x', 't', 's');
    layout.Streams.push_back({text, {1, 2, 3}, true});
    // The text stream's chunks come last in the file, yet belong among the frames.
    for (uint32_t k = 0; k < 40; ++k)
        layout.Chunks.push_back({2, 12, true});
    Source(layout);
    Copy(10, 19);
    EXPECT_EQ(Payloads(Out, 2).size(), 10u);
    auto scan = ScanRiff(Out);
    std::vector<std::string> order;
    for (const auto& c : scan)
        if (c.Id.size() == 4 && c.Id[0] == '0' && c.Depth == 2)
            order.push_back(c.Id);
    // The three streams' chunks of 0.4 s in stream order, then those of 0.44 s.
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 4),
              (std::vector<std::string>{"00dc", "01wb", "02wb", "00dc"}))
        << "interleaved by start time, not by source position";
}

TEST_F(CopierTest, AnUnreadableChunkFailsTheJobWithACompleteFile) {
    TAviLayout layout = AvLayout(40, Every(10));
    TBuiltAvi& built = Source(layout);
    // Point video entry 30 beyond the end of the file.
    const size_t entry = built.Idx1Pos + 8 + 16 * (2 * 30);
    PutU32(built.Bytes.data() + entry + 8, 0x7FFFFFF0u);
    Reader.Open(Save(built.Bytes, "damaged.avi"));
    try {
        Copy(0, 39);
        ADD_FAILURE() << "a short copy reported as success";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Unable to read chunk 30 of stream 0: the file is damaged or cut "
                               "short");
    }
    EXPECT_EQ(Payloads(Out, 0).size(), 30u) << "what was written is a complete file";
    EXPECT_THROW(Engine->SplitIntoParts(2, Dir.Path().string(), "part"), EZarvexError);
    EXPECT_EQ(Payloads(Dir.File("part1.avi"), 0).size(), 21u) << "the first part is whole";
    EXPECT_EQ(Payloads(Dir.File("part2.avi"), 0).size(), 10u) << "frames 20 to 29";
}

TEST_F(CopierTest, AStaleIndexEntryFailsTheJob) {
    TBuiltAvi& built = Source(AvLayout(40, Every(10)));
    // Video entry 20 two bytes off, as after bytes were inserted into the data.
    uint8_t* offset = built.Bytes.data() + built.Idx1Pos + 8 + 16 * (2 * 20) + 8;
    PutU32(offset, GetU32(offset) + 2);
    Reader.Open(Save(built.Bytes, "stale.avi"));
    EXPECT_THROW(Copy(0, 39), EZarvexError);
    EXPECT_EQ(Payloads(Out, 0).size(), 20u) << "the frames before it, in a complete file";
}

TEST_F(CopierTest, AudioCuttingRules) {
    // Stereo 16-bit PCM declared in bytes (sample size 1, block 4) under 29.97 fps video: frames
    // 9 and 21 start at bytes 52973 and 123603, inside sample frames. Cuts keep whole ones.
    TAviLayout pcm = AvLayout(60, Every(1));
    pcm.Streams[0].Header = VideoHeader(30000, 1001, 0);
    pcm.Streams[1].Header = AudioHeader(176400, 1, 1);
    Source(pcm);
    std::vector<uint8_t> all;
    for (uint32_t k = 0; k < Reader.Streams(1).EntryCount(); ++k) {
        const auto p = SourcePayload(1, k);
        all.insert(all.end(), p.begin(), p.end());
    }
    Copy(9, 21);
    std::vector<uint8_t> audio;
    for (const auto& c : Payloads(Out, 1)) {
        EXPECT_EQ(c.size() % 4, 0u);
        audio.insert(audio.end(), c.begin(), c.end());
    }
    const auto at = std::search(all.begin(), all.end(), audio.begin(), audio.end());
    ASSERT_NE(at, all.end());
    EXPECT_EQ((at - all.begin()) % 4, 0) << "the sound starts on a whole sample frame";
    EXPECT_NEAR(double(at - all.begin()), 52973.0, 2.0);
    EXPECT_NEAR(double(audio.size()), 123603.0 - 52973.0, 4.0);

    // Compressed audio that can't be cut goes in whole chunks, but not those that end at the
    // first frame's start or begin at the last frame's: they hold none of the span.
    TAviLayout whole = AvLayout(40, Every(10));
    whole.Streams[1] = {AudioHeader(176400, 1, 1), AudioFormat(0x161, 2, 44100, 1, 16), true};
    Source(whole);
    Copy(10, 20);
    auto chunks = Payloads(Out, 1);
    ASSERT_EQ(chunks.size(), 10u) << "0.4 s to 0.8 s";
    EXPECT_EQ(chunks.front(), SourcePayload(1, 10));
    EXPECT_EQ(chunks.back(), SourcePayload(1, 19));

    // Uncompressed video whose header gives the frame size as its sample size still counts
    // frames: one entry, one frame.
    TAviLayout raw = SimpleLayout(0, 0, false, TIndexStyle::Idx1Relative);
    raw.Streams[0].Header.dwSampleSize = 300;
    raw.Streams[0].Format = VideoFormat(10, 10, 0);
    for (uint32_t f = 0; f < 40; ++f)
        raw.Chunks.push_back({0, 300, true});
    Source(raw);
    EXPECT_DOUBLE_EQ(Reader.Streams(0).EntryTime(10), 0.4);
    Copy(10, 20);
    const auto frames = Payloads(Out, 0);
    ASSERT_EQ(frames.size(), 11u);
    EXPECT_EQ(frames.front(), SourcePayload(0, 10));
}

TEST_F(CopierTest, IntraOnlyVideoIsCutWhereAsked) {
    // Writers of such video may flag no frame at all: every picture stands alone anyway.
    const auto none = [](uint32_t) { return false; };
    for (const char* code :
         {"MJPG", "mjpg", "dvsd", "HFYU", "DIB ", "ULY2", "MAGY", "LAGS", "apcn", "MJ2C", "MPNG"}) {
        TAviLayout layout = AvLayout(40, none);
        layout.Streams[0].Format = VideoFormat(320, 240, StrToFourCC(code));
        Source(layout);
        Copy(7, 15);
        const auto video = Payloads(Out, 0);
        ASSERT_EQ(video.size(), 9u) << code;
        EXPECT_EQ(video.front(), SourcePayload(0, 7)) << code;
    }
    for (uint32_t raw : {0u, 3u}) { // BI_RGB, BI_BITFIELDS
        TAviLayout layout = AvLayout(40, none);
        layout.Streams[0].Format = VideoFormat(320, 240, raw);
        Source(layout);
        EXPECT_TRUE(Reader.Streams(0).IsKeyFrame(7)) << raw;
    }
    TAviLayout dv = AvLayout(40, none); // interleaved DV: the format is no picture header
    dv.Streams[0].Header.fccType = streamIavs;
    dv.Streams[0].Format.assign(32, 0);
    Source(dv);
    EXPECT_TRUE(Reader.Streams(0).IsKeyFrame(7));

    // An empty chunk repeats the picture before it, so a cut asked to start there starts a
    // frame earlier; and inter-frame video keeps the index's flags.
    TAviLayout layout = AvLayout(40, none);
    layout.Streams[0].Format = VideoFormat(320, 240, StrToFourCC("MJPG"));
    layout.Chunks[2 * 7].Size = 0;
    Source(layout);
    Copy(7, 15);
    EXPECT_EQ(Payloads(Out, 0).size(), 10u);
    ASSERT_TRUE(Engine->SplitIntoParts(4, Dir.Path().string(), "p"));
    EXPECT_TRUE(std::filesystem::exists(Dir.File("p4.avi")));
    for (const char* code : {"XVID", "FFV1"}) { // FFV1 frames carry the coder's state over
        TAviLayout inter = AvLayout(40, none);
        inter.Streams[0].Format = VideoFormat(320, 240, StrToFourCC(code));
        Source(inter);
        Copy(7, 15);
        EXPECT_EQ(Payloads(Out, 0).size(), 16u) << code << " without key frames starts at 0";
    }
}

// Pictures written before sound that starts 10 ms earlier, as ffmpeg's MP3 delay does, and
// large enough for a copy of several MiB: the output keeps the source's order, its long run of
// chunks is moved behind a filler to the source's offset within 64 KiB, and both indexes still
// find every chunk.
TEST_F(CopierTest, LongRunsKeepTheSourcesOrderAndAreAligned) {
    TAviLayout layout = SimpleLayout(0, 0, true, TIndexStyle::Idx1Relative);
    for (uint32_t f = 0; f < 80; ++f) {
        layout.Chunks.push_back({0, 120001 + f, f % 20 == 0});
        layout.Chunks.push_back({1, f == 0 ? 5292u : 7056u, true});
    }
    Source(layout);
    Copy(20, 70);
    std::vector<std::vector<uint8_t>> want;
    for (uint32_t f = 20; f <= 70; ++f)
        want.push_back(SourcePayload(0, f));
    EXPECT_EQ(Payloads(Out, 0), want);

    std::vector<TScannedChunk> data;
    uint64_t idx1 = 0;
    for (const TScannedChunk& c : ScanRiff(Out)) {
        if (c.Id == "00dc" || c.Id == "01wb")
            data.push_back(c);
        if (c.Id == "idx1")
            idx1 = c.Pos;
    }
    ASSERT_EQ(data.size(), 102u);
    for (size_t i = 0; i < data.size(); i += 2)
        ASSERT_TRUE(data[i].Id == "00dc" && data[i + 1].Id == "01wb") << i;
    TAVIIndexEntry last;
    ASSERT_TRUE(Reader.Streams(0).GetEntry(70, last));
    EXPECT_EQ(data[100].Pos % 65536, uint64_t(last.Offset - 8) % 65536);

    ASSERT_NE(idx1, 0u);
    ASSERT_EQ(FileU32(Out, idx1 + 4) / 16, data.size());
    for (uint32_t i = 0; i < data.size(); ++i) {
        ASSERT_EQ(FileU32(Out, idx1 + 8 + 16 * i + 8), data[i].Pos) << i;
        ASSERT_EQ(FileU32(Out, idx1 + 8 + 16 * i + 12), data[i].Size) << i;
    }
}
