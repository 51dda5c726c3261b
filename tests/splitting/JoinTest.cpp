// Several ranges in one file, and files joined: the pictures of every range as the source has
// them, and the sound of every range joined to the one before without a gap or an overlap.
#include "avi_input/AVIRead.h"
#include "avi_input/LeadingPictures.h"
#include "fixtures/CopierFixture.h"
#include "fixtures/Tools.h"
#include "splitting/Joiner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

struct TJoinSource {
    const char* Name;
    const char* Args;
    bool Pcm;
};

const TJoinSource JoinSources[] = {
    {"MjpegPcm", "-c:v mjpeg -q:v 5 -c:a pcm_s16le", true},
    {"XvidMp3", "-c:v mpeg4 -vtag XVID -g 25 -bf 0 -c:a libmp3lame -b:a 128k", false},
    {"Mpeg4BFramesPcm", "-c:v mpeg4 -g 25 -bf 2 -c:a pcm_s16le", true},
};

// 44100 Hz stereo 16-bit: bytes of sound per frame at 25 fps.
constexpr size_t PcmFrameBytes = 44100 / 25 * 4;
// An MP3 frame of 1152 samples, in seconds.
constexpr double Mp3Frame = 1152.0 / 44100;

std::vector<std::vector<uint8_t>> Payloads(const std::string& path, int stream) {
    return ChunkPayloads(path, stream);
}

std::string Pcm(const std::string& path) {
    return RunCapture("ffmpeg -v error -i " + ShellQuote(path) + " -map 0:a -f s16le -").Output;
}

double Seconds(const std::string& path, const char* stream) {
    return std::atof(RunCapture(std::string("ffprobe -v error -select_streams ") + stream +
                                " -show_entries stream=duration -of csv=p=0 " + ShellQuote(path))
                         .Output.c_str());
}

class JoinTest : public ::testing::TestWithParam<TJoinSource> {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = Dir.File("source.avi");
        ASSERT_EQ(RunCapture("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -f "
                             "lavfi -i sine=sample_rate=44100 -t 8 -ac 2 " +
                             std::string(GetParam().Args) + " " + ShellQuote(Source))
                      .ExitCode,
                  0);
        Reader.Open(Source);
    }
    // The key frame a key-frame copy of a range starts on.
    int32_t KeyOf(int32_t frame) const {
        const TAVIStream& v = *Reader.VideoStream();
        return v.IsKeyFrame(frame) ? frame : v.PrevKeyFrame(frame);
    }
    TTempDir Dir;
    std::string Source;
    TAVIFileReader Reader;
};

} // namespace

TEST_P(JoinTest, RangesFollowEachOtherWithTheirOwnPicturesAndSound) {
    const std::vector<TKeepRange> ranges{{10, 40}, {80, 120}, {150, 170}};
    std::vector<TJoinPiece> pieces;
    for (const TKeepRange& r : ranges)
        pieces.push_back({&Reader, r, nullptr});
    const std::string out = Dir.File("kept.avi");
    TJoiner().Write(pieces, out);

    // The video: the source's chunks of every range, from its key frame, in order; an open
    // group's leading pictures, which refer to the range before, empty.
    const auto video = Payloads(Source, 0);
    std::vector<std::vector<uint8_t>> expected;
    size_t frames = 0;
    std::vector<size_t> joins; // the output frame each range starts on
    for (const TKeepRange& r : ranges) {
        joins.push_back(frames);
        const int32_t key = KeyOf(r.First);
        const int64_t leading = key + LeadingPictures(*Reader.VideoStream(), key);
        for (int32_t i = key; i <= r.Last; ++i, ++frames)
            expected.push_back(i > key && i <= leading ? std::vector<uint8_t>{} : video[size_t(i)]);
    }
    EXPECT_TRUE(Payloads(out, 0) == expected);
    EXPECT_EQ(RunCapture("ffmpeg -v error -i " + ShellQuote(out) + " -f null - 2>&1").Output, "");

    const double picture = double(frames) / 25;
    if (!GetParam().Pcm) {
        EXPECT_NEAR(Seconds(out, "a:0"), picture, Mp3Frame);
        return;
    }
    // PCM: every range's sound is the source's from its first frame's time, to the sample.
    const std::string all = Pcm(Source), kept = Pcm(out);
    EXPECT_EQ(kept.size(), frames * PcmFrameBytes);
    for (size_t k = 0; k < ranges.size(); ++k) {
        SCOPED_TRACE(k);
        const size_t from = size_t(KeyOf(ranges[k].First)) * PcmFrameBytes;
        const size_t at = joins[k] * PcmFrameBytes;
        const size_t n = (ranges[k].Last - KeyOf(ranges[k].First) + 1) * PcmFrameBytes;
        EXPECT_TRUE(kept.compare(at, n, all, from, n) == 0);
    }
}

// Two cuts of one file joined give back their pictures and sound, one after the other.
TEST_P(JoinTest, JoinedCutsGiveBackTheirPacketsAndSound) {
    const std::string a = Dir.File("a.avi"), b = Dir.File("b.avi"), ab = Dir.File("ab.avi");
    TJoiner().Write({{&Reader, {25, 74}, nullptr}}, a);
    TJoiner().Write({{&Reader, {100, 149}, nullptr}}, b);
    TAVIFileReader ra, rb;
    ra.Open(a);
    rb.Open(b);
    const auto whole = [](const TAVIFileReader& r) {
        return TKeepRange{0, int32_t(r.VideoStream()->EntryCount()) - 1};
    };
    TJoiner().Write({{&ra, whole(ra), nullptr}, {&rb, whole(rb), nullptr}}, ab);
    auto expected = Payloads(a, 0);
    for (auto& p : Payloads(b, 0))
        expected.push_back(std::move(p));
    EXPECT_TRUE(Payloads(ab, 0) == expected);
    if (GetParam().Pcm) {
        EXPECT_TRUE(Pcm(ab) == Pcm(a) + Pcm(b));
    } else {
        EXPECT_NEAR(Seconds(ab, "a:0"), Seconds(ab, "v:0"), Mp3Frame);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, JoinTest, ::testing::ValuesIn(JoinSources),
                         [](const auto& info) { return std::string(info.param.Name); });
