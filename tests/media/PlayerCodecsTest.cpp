// The player renders the codecs people keep in AVI files and shows their frames exactly.
#include "media/NullAudioSink.h"
#include "media/Player.h"

#include "fixtures/MediaFixture.h"
#include "media/PlayerTestSinks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

struct TCodecCase {
    const char* Name;
    const char* Video; // ffmpeg options of the video stream
    const char* Audio; // ffmpeg options of the audio stream
};

const TCodecCase Cases[] = {
    {"xvid_pcm", "-c:v mpeg4 -vtag XVID -g 5", "-c:a pcm_s16le"},
    {"divx_mp3", "-c:v mpeg4 -vtag DIVX -g 5", "-c:a libmp3lame -b:a 128k"},
    {"fmp4_ac3", "-c:v mpeg4 -vtag FMP4 -g 5", "-c:a ac3"},
    {"mp42_aac", "-c:v msmpeg4v2 -g 5", "-c:a aac"},
    {"div3_mp3", "-c:v msmpeg4 -g 5", "-c:a libmp3lame"},
    {"h264_aac", "-c:v libx264 -preset ultrafast -g 5 -bf 2", "-c:a aac"},
    {"mjpeg_pcm", "-c:v mjpeg", "-c:a pcm_s16le"},
    {"dv_pcm", "-c:v dvvideo -s 720x576 -pix_fmt yuv420p", "-c:a pcm_s16le -ar 48000"},
    {"rgb_pcm", "-c:v rawvideo -pix_fmt bgr24", "-c:a pcm_s16le"},
};

class PlayerCodecsTest : public ::testing::TestWithParam<TCodecCase> {};

// ffmpeg counts decoded pictures, skipping empty "drop" chunks that frame numbers count: the
// picture shown at frame k is ffmpeg's picture of the last non-empty chunk up to k.
int64_t FfmpegPictureOf(const std::string& path, int64_t k) {
    const TCommandResult r = RunCapture("ffprobe -v error -select_streams v:0 -show_entries "
                                        "packet=dts,size -of csv=p=0 " +
                                        ShellQuote(path));
    int64_t n = -1, dts = 0, size = 0;
    std::istringstream lines(r.Output);
    for (std::string line; std::getline(lines, line);)
        if (std::sscanf(line.c_str(), "%ld,%ld", &dts, &size) == 2 && dts <= k && size > 0)
            ++n;
    return n;
}

} // namespace

TEST_P(PlayerCodecsTest, RendersAndSeeksExactly) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    const TCodecCase& c = GetParam();
    TTempDir dir;
    const std::string path = dir.File(std::string(c.Name) + ".avi");
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i testsrc2=size=176x144:rate=25 -f lavfi -i "
                          "sine=sample_rate=44100 -t 1 " +
                          std::string(c.Video) + " " + c.Audio + " -ac 2 " + ShellQuote(path)));
    TCollectingSink sink;
    TMediaPlayer player{TNullAudioSink::Factory()};
    player.SetVideoSink(&sink);
    ASSERT_EQ(player.RenderFile(path), ResultOk);
    EXPECT_TRUE(player.HasVideoRenderer());
    EXPECT_TRUE(player.HasAudioRenderer());
    ASSERT_TRUE(sink.WaitForFrame(0));
    ASSERT_EQ(player.Pause(), ResultOk);
    // Frame 13 lies between key frames for the codecs that have any.
    ASSERT_EQ(player.SetPositions(player.FrameTime(13)), ResultOk);
    const TVideoFramePtr f = sink.WaitForFrame(13);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Pixels, FfmpegFramePixels(path, FfmpegPictureOf(path, 13), "bgra"));
    player.Close();
}

INSTANTIATE_TEST_SUITE_P(Codecs, PlayerCodecsTest, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.Name); });
