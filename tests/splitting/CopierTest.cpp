#include "avi_input/FourCC.h"
#include "fixtures/CopierFixture.h"
#include "support/Endian.h"

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
    // The chunks that end exactly at 4.0 s and begin exactly at 8.0 s touch the span.
    ASSERT_GE(audio.size(), 2u);
    EXPECT_EQ(audio.front().size(), 0u);
    EXPECT_EQ(audio.back().size(), 0u);
    EXPECT_EQ(audio[1], SourcePayload(1, 100));

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
    EXPECT_EQ(Payloads(Out, 1).at(0).size(), 0u) << "a single frame holds no sound";
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
    EXPECT_EQ(seen.size(), 200u) << "after every written chunk, whatever its stream";

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
    Engine->CopySegment(0, 10);
    EXPECT_FALSE(std::filesystem::exists(Dir.File("none.avi"))) << "no frames: nothing written";
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
    // The audio chunk ending at 0.4 s touches the span and comes first; then the three
    // streams' chunks of 0.4 s in stream order.
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 5),
              (std::vector<std::string>{"01wb", "00dc", "01wb", "02wb", "00dc"}))
        << "interleaved by start time, not by source position";
}

TEST_F(CopierTest, AShortReadEndsTheCopyWithACompleteFile) {
    TAviLayout layout = AvLayout(40, Every(10));
    TBuiltAvi& built = Source(layout);
    // Point video entry 30 beyond the end of the file.
    const size_t entry = built.Idx1Pos + 8 + 16 * (2 * 30);
    PutU32(built.Bytes.data() + entry + 8, 0x7FFFFFF0u);
    Reader.Open(Save(built.Bytes, "damaged.avi"));
    Copy(0, 39);
    EXPECT_EQ(Payloads(Out, 0).size(), 30u);
}
