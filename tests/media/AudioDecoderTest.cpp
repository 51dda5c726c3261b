// Audio decoding positioned to the sample, compared with ffmpeg's own decode of the whole stream.
#include "media/AudioDecoder.h"
#include "export/DSErrors.h"
#include "media/VideoDecoder.h"

#include "fixtures/MediaFixture.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

// ffmpeg's decode of the first audio stream as interleaved s16 at 44100 Hz stereo.
std::vector<int16_t> FfmpegSamples(const std::string& path) {
    const TCommandResult r = RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) +
                                        " -map 0:a:0 -ar 44100 -ac 2 -f s16le -");
    std::vector<int16_t> s(r.Output.size() / 2);
    std::copy_n(r.Output.data(), s.size() * 2, reinterpret_cast<char*>(s.data()));
    return s;
}

std::vector<int16_t> ReadFrames(TAudioDecoder& dec, int frames, int step = 1000) {
    std::vector<int16_t> out;
    while (static_cast<int>(out.size()) < frames * 2) {
        const int n = dec.Read(out, std::min(step, frames - static_cast<int>(out.size()) / 2));
        if (n == 0)
            break;
    }
    return out;
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(a[i] - b.at(from + i)));
    return worst;
}

class AudioDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { ZARVEX_REQUIRE_TOOL("ffmpeg"); }
    TTempDir Dir;
};

} // namespace

TEST_F(AudioDecoderTest, PcmIsExactAtAnySample) {
    const std::string src = MakeMpeg4Avi(Dir, "pcm.avi", 3.0);
    ASSERT_FALSE(src.empty());
    const std::vector<int16_t> all = FfmpegSamples(src);
    ASSERT_EQ(all.size(), 3u * 44100 * 2);
    TAudioDecoder dec(src, 44100, 2);
    EXPECT_EQ(dec.SampleRate(), 44100);
    EXPECT_EQ(dec.Channels(), 2);
    // Backwards and forwards, on and between packet boundaries.
    for (int64_t sample : {44100, 12345, 0, 88201, 130000}) {
        SCOPED_TRACE(sample);
        dec.Seek(sample * TimeUnits / 44100);
        EXPECT_NEAR(double(dec.Position()), double(sample) * TimeUnits / 44100, 1.0);
        const std::vector<int16_t> got = ReadFrames(dec, 3000, 700);
        const size_t expect = std::min<size_t>(3000, 132300 - sample);
        ASSERT_EQ(got.size(), expect * 2);
        EXPECT_EQ(MaxDifference(got, all, size_t(sample) * 2), 0);
    }
    // Reading on to the end gives exactly the stream's samples, then nothing.
    dec.Seek(0);
    EXPECT_EQ(ReadFrames(dec, 1000000, 4096), all);
    std::vector<int16_t> more;
    EXPECT_EQ(dec.Read(more, 100), 0);
    EXPECT_TRUE(more.empty());
}

TEST_F(AudioDecoderTest, CompressedAudioDecodesFromBeforeTheSample) {
    const std::string src = Dir.File("mp3.avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i sine=frequency=300:sample_rate=44100 -t 4 -ac 2 "
                          "-c:a libmp3lame -b:a 128k " +
                          ShellQuote(src)));
    const std::vector<int16_t> all = FfmpegSamples(src);
    ASSERT_GT(all.size(), 3u * 44100 * 2);
    TAudioDecoder dec(src, 44100, 2);
    for (int64_t sample : {100000, 44100, 5000}) {
        SCOPED_TRACE(sample);
        dec.Seek(sample * TimeUnits / 44100);
        const std::vector<int16_t> got = ReadFrames(dec, 4410);
        ASSERT_EQ(got.size(), 4410u * 2);
        // The run-in before the sample makes the decode the same as a decode from the start.
        EXPECT_LE(MaxDifference(got, all, size_t(sample) * 2), 1);
    }
}

TEST_F(AudioDecoderTest, ResamplesAndUpmixes) {
    const std::string src = Dir.File("mono48k.wav");
    ASSERT_TRUE(
        RunFfmpeg("-f lavfi -i sine=frequency=500:sample_rate=48000 -t 2 " + ShellQuote(src)));
    TAudioDecoder dec(src, 44100, 2);
    const std::vector<int16_t> got = ReadFrames(dec, 1000000, 4096);
    EXPECT_NEAR(double(got.size()) / 2, 2 * 44100, 64);
    bool loud = false;
    for (size_t i = 0; i + 1 < got.size(); i += 2) {
        ASSERT_EQ(got[i], got[i + 1]) << "both channels carry the mono signal";
        loud = loud || std::abs(got[i]) > 1000;
    }
    EXPECT_TRUE(loud);
    // A position past the end reads nothing.
    dec.Seek(3 * TimeUnits);
    std::vector<int16_t> none;
    EXPECT_EQ(dec.Read(none, 100), 0);
}

TEST_F(AudioDecoderTest, SourceWithoutAudioIsRefused) {
    const std::string src = MakeMpeg4Avi(Dir, "silent.avi", 0.5, 250, "64x48", 25, false);
    ASSERT_FALSE(src.empty());
    try {
        TAudioDecoder dec(src, 44100, 2);
        FAIL() << "opened a file without audio";
    } catch (const EMediaError&) {
        FAIL() << "wrong error kind";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "Audio stream is not found");
    }
    EXPECT_THROW(TAudioDecoder(Dir.File("missing.avi"), 44100, 2), EMediaError);
}
