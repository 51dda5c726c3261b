// The recompressing save, checked with ffprobe, ffmpeg, GStreamer and MediaInfo.
#include "export/DSSplit.h"
#include "avi_input/FileLib.h"
#include "export/DSErrors.h"

#include "fixtures/MediaFixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// The bytes of a file's video packets, as ffprobe counts them.
int64_t VideoPacketBytes(const std::string& path) {
    const std::string r = RunCapture("ffprobe -v error -select_streams v:0 -show_entries "
                                     "packet=size -of csv=p=0 " +
                                     ShellQuote(path))
                              .Output;
    int64_t total = 0;
    std::istringstream lines(r);
    for (std::string line; std::getline(lines, line);)
        total += line.empty() ? 0 : std::stoll(line);
    return total;
}

std::map<std::string, std::string> Probe(const std::string& path, const std::string& stream) {
    const TCommandResult r =
        RunCapture("ffprobe -v error -select_streams " + stream +
                   " -count_packets -show_entries stream=codec_name,pix_fmt,width,height,"
                   "r_frame_rate,sample_rate,channels,nb_read_packets,sample_fmt -of compact=p=0 " +
                   ShellQuote(path));
    return CompactFields(r.Output.substr(0, r.Output.find('\n')));
}

// Frame n of a file after an ffmpeg filter chain, as top-down bgr24.
std::vector<uint8_t> FilteredFrame(const std::string& path, int n, const std::string& filter) {
    const TCommandResult r = RunCapture(
        "ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v:0 -vf 'select=eq(n\\," +
        std::to_string(n) + ")" + (filter.empty() ? "" : "," + filter) +
        "' -frames:v 1 -sws_flags bicubic -pix_fmt bgr24 -f rawvideo -");
    return std::vector<uint8_t>(r.Output.begin(), r.Output.end());
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

std::string DecodeMessages(const std::string& path) {
    return RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null - 2>&1").Output;
}

class DSSplitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        ZARVEX_REQUIRE_TOOL("ffprobe");
        Source = MakeMpeg4Avi(Dir, "src.avi", 3.0, 25);
        ASSERT_FALSE(Source.empty());
        Splitter.SourceFileName = Source;
        Splitter.OutputFileName = Out;
        Splitter.StartTime = 1.0;
        Splitter.StopTime = 2.0;
    }
    TTempDir Dir;
    std::string Source;
    std::string Out = Dir.File("out.avi");
    TDSVideoSplitter Splitter;
};

} // namespace

TEST_F(DSSplitTest, RawOutputHoldsRgbAndPcmOfTheSegment) {
    int calls = 0;
    Splitter.OnProgress = [&](TDSVideoSplitter&, bool&, double p) {
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 100.0);
        ++calls;
    };
    Splitter.Save();
    EXPECT_EQ(Splitter.SourceInfo().Width, 320);
    EXPECT_TRUE(Splitter.SourceInfo().HasAudio);
    auto v = Probe(Out, "v:0");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["pix_fmt"], "bgr24");
    EXPECT_EQ(v["width"], "320");
    EXPECT_EQ(v["height"], "240");
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_packets"], "25");
    auto a = Probe(Out, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    EXPECT_EQ(a["sample_rate"], "44100");
    EXPECT_EQ(a["channels"], "2");
    const TCommandResult samples =
        RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(Out) + " -map 0:a -f s16le -");
    EXPECT_EQ(samples.Output.size(), 44100u * 4);
    // The first frame is the source's frame at StartTime, the last the one before StopTime.
    EXPECT_EQ(FfmpegFrameBgr24(Out, 0), FfmpegFrameBgr24(Source, 25));
    EXPECT_EQ(FfmpegFrameBgr24(Out, 24), FfmpegFrameBgr24(Source, 49));
    EXPECT_EQ(DecodeMessages(Out), "");
}

TEST_F(DSSplitTest, FrameRateAndSizeConversion) {
    Splitter.OutputFrameRate = 10;
    Splitter.OutputWidth = 160;
    Splitter.OutputHeight = 120;
    Splitter.StretchMode = TStretchMode::smStretch;
    Splitter.Save();
    auto v = Probe(Out, "v:0");
    EXPECT_EQ(v["r_frame_rate"], "10/1");
    EXPECT_EQ(v["width"], "160");
    EXPECT_EQ(v["nb_read_packets"], "10");
    // Output frame 3 shows 1.3 s, inside source frame 32.
    EXPECT_LT(MeanDifference(FfmpegFrameBgr24(Out, 3), FilteredFrame(Source, 32, "scale=160:120")),
              2.0);
}

TEST_F(DSSplitTest, CompressedOutputDecodesEverywhere) {
    std::vector<TCompressor> video, audio;
    EnumCompressors(false, nullptr, &video);
    EnumCompressors(true, nullptr, &audio);
    auto pick = [](const std::vector<TCompressor>& list, const std::string& name) {
        for (const TCompressor& c : list)
            if (c.EncoderName == name)
                return c;
        ADD_FAILURE() << name << " is not listed";
        return TCompressor();
    };
    Splitter.VideoCompressor = pick(video, "mpeg4");
    Splitter.AudioCompressor = pick(audio, "libmp3lame");
    Splitter.Save();
    EXPECT_EQ(DecodeMessages(Out), "");
    auto v = Probe(Out, "v:0");
    EXPECT_EQ(v["codec_name"], "mpeg4");
    EXPECT_EQ(v["nb_read_packets"], "25");
    EXPECT_EQ(Probe(Out, "a:0")["codec_name"], "mp3");
    EXPECT_LT(MeanDifference(FfmpegFrameBgr24(Out, 0), FfmpegFrameBgr24(Source, 25)), 6.0);
    if (HaveTool("gst-launch-1.0")) {
        EXPECT_EQ(RunCapture("gst-launch-1.0 -q filesrc location=" + ShellQuote(Out) +
                             " ! avidemux name=d d.video_0 ! queue ! fakesink d.audio_0 ! queue "
                             "! fakesink >/dev/null 2>&1")
                      .ExitCode,
                  0);
    }
    if (HaveTool("mediainfo")) {
        const std::string info =
            RunCapture("mediainfo --Inform='Audio;%Format%|%SamplingRate%' " + ShellQuote(Out))
                .Output;
        EXPECT_EQ(info.substr(0, info.find('\n')), "MPEG Audio|44100");
    }
}

// Each option the options window offers reaches the encoder: a coarser quantiser makes a
// smaller file, a higher bit rate a larger one, a key frame interval is kept.
TEST_F(DSSplitTest, CompressorOptionsReachTheEncoder) {
    std::vector<TCompressor> video;
    EnumCompressors(false, nullptr, &video);
    TCompressor mpeg4;
    for (const TCompressor& c : video)
        if (c.EncoderName == "mpeg4")
            mpeg4 = c;
    ASSERT_EQ(mpeg4.EncoderName, "mpeg4");
    const auto save = [&](const std::string& name, const media::TCompressorOptions& options) {
        TDSVideoSplitter splitter;
        splitter.SourceFileName = Source;
        splitter.OutputFileName = Dir.File(name);
        splitter.StartTime = 0.0;
        splitter.StopTime = 2.0;
        splitter.VideoCompressor = mpeg4;
        splitter.VideoCompressor->Options = options;
        splitter.Save();
        EXPECT_EQ(DecodeMessages(splitter.OutputFileName), "") << name;
        return splitter.OutputFileName;
    };
    media::TCompressorOptions fine, coarse, low, high, keys;
    fine.Quality = 2;
    coarse.Quality = 31;
    low.BitRate = 200000;
    high.BitRate = 2000000;
    keys.KeyFrameInterval = 5;
    const int64_t fineBytes = VideoPacketBytes(save("fine.avi", fine));
    const int64_t coarseBytes = VideoPacketBytes(save("coarse.avi", coarse));
    EXPECT_GT(fineBytes, 3 * coarseBytes);
    // Rate control cannot go below the coarsest quantiser on this picture, so the test is
    // one of direction: ten times the rate, well over twice the bytes.
    EXPECT_GT(VideoPacketBytes(save("high.avi", high)), 2 * VideoPacketBytes(save("low.avi", low)));
    const std::string flags = RunCapture("ffprobe -v error -select_streams v:0 -show_entries "
                                         "packet=flags -of csv=p=0 " +
                                         ShellQuote(save("keys.avi", keys)))
                                  .Output;
    int keyFrames = 0;
    for (size_t at = flags.find('K'); at != std::string::npos; at = flags.find('K', at + 1))
        ++keyFrames;
    EXPECT_EQ(keyFrames, 10); // 50 frames, one key frame in 5
}

TEST_F(DSSplitTest, CancelLeavesAFileThatDecodes) {
    // Long and large enough that the first progress report comes well before the end,
    // however fast or loaded the machine.
    const std::string longSource = MakeMpeg4Avi(Dir, "long.avi", 40.0, 25);
    ASSERT_FALSE(longSource.empty());
    Splitter.SourceFileName = longSource;
    Splitter.StartTime = 0;
    Splitter.StopTime = 40.0;
    Splitter.OutputWidth = 1280;
    Splitter.OutputHeight = 960;
    Splitter.StretchMode = TStretchMode::smStretch;
    // Cancelled once pictures are in the encoder: what it still holds is dropped.
    Splitter.OnProgress = [](TDSVideoSplitter&, bool& cancel, double percent) {
        cancel = percent > 0;
    };
    for (const char* encoder : {"", "libx264", "mpeg4"}) {
        SCOPED_TRACE(encoder);
        Splitter.VideoCompressor.reset();
        if (*encoder)
            Splitter.VideoCompressor = media::FindCompressor(false, encoder);
        Splitter.Save();
        EXPECT_TRUE(Splitter.Cancelled());
        EXPECT_EQ(DecodeMessages(Out), "");
        const int frames = std::atoi(Probe(Out, "v:0")["nb_read_packets"].c_str());
        EXPECT_GT(frames, 0);
        EXPECT_LT(frames, 1000);
    }
}

TEST_F(DSSplitTest, EveryStretchModeFitsA4By3PictureInto16By9) {
    Splitter.OutputWidth = 320;
    Splitter.OutputHeight = 180;
    const std::pair<TStretchMode, std::string> cases[] = {
        {TStretchMode::smStretch, "scale=320:180"},
        {TStretchMode::smPreserveAspect, "scale=240:180,pad=320:180:40:0:black"},
        {TStretchMode::smPreserveAspectNoLetterbox, "scale=320:240,crop=320:180:0:30"},
        {TStretchMode::smCrop, "crop=320:180:0:30"},
    };
    for (const auto& [mode, filter] : cases) {
        SCOPED_TRACE(filter);
        TDSVideoSplitter s;
        s.SourceFileName = Source;
        s.OutputFileName = Out;
        s.StartTime = 1.0;
        s.StopTime = 1.2;
        s.OutputWidth = 320;
        s.OutputHeight = 180;
        s.StretchMode = mode;
        s.Save();
        const std::vector<uint8_t> got = FfmpegFrameBgr24(Out, 0);
        ASSERT_EQ(got.size(), 320u * 180 * 3);
        EXPECT_LT(MeanDifference(got, FilteredFrame(Source, 25, filter)), 3.0);
        if (mode == TStretchMode::smCrop) { // unscaled: the very same pixels
            EXPECT_EQ(got, FilteredFrame(Source, 25, filter));
        }
        if (mode == TStretchMode::smPreserveAspect) {
            EXPECT_TRUE(
                std::all_of(got.begin(), got.begin() + 40 * 3, [](uint8_t b) { return b == 0; }));
        }
    }
}

TEST_F(DSSplitTest, SourceWithoutAudioGetsSilence) {
    const std::string mute = MakeMpeg4Avi(Dir, "mute.avi", 2.0, 25, "160x120", 25, false);
    Splitter.SourceFileName = mute;
    Splitter.StartTime = 0.5;
    Splitter.StopTime = 1.5;
    Splitter.BuildTimeline();
    ASSERT_EQ(Splitter.Timeline().Groups.size(), 2u);
    EXPECT_TRUE(Splitter.Timeline().Groups[1].Track.Sources.empty());
    Splitter.RenderToFile(Out);
    EXPECT_EQ(Probe(Out, "a:0")["codec_name"], "pcm_s16le");
    const TCommandResult samples =
        RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(Out) + " -map 0:a -f s16le -");
    ASSERT_EQ(samples.Output.size(), 44100u * 4);
    EXPECT_TRUE(
        std::all_of(samples.Output.begin(), samples.Output.end(), [](char c) { return c == 0; }));
}

// Audio nothing here can decode is treated as no audio, and the caller is told so.
TEST_F(DSSplitTest, UndecodableAudioBecomesSilenceAndIsReported) {
    const std::string unknown = MakeUnknownAudioAvi(Dir, "unknown.avi", 2.0);
    ASSERT_FALSE(unknown.empty());
    Splitter.SourceFileName = unknown;
    Splitter.StartTime = 0.5;
    Splitter.StopTime = 1.5;
    Splitter.AudioCompressor = media::FindCompressor(true, "mp2");
    Splitter.Save();
    ASSERT_EQ(Splitter.Warnings().size(), 1u);
    EXPECT_NE(Splitter.Warnings()[0].find("cannot be decoded"), std::string::npos);
    EXPECT_EQ(DecodeMessages(Out), "");
    EXPECT_EQ(Probe(Out, "a:0")["codec_name"], "mp2");
    const TCommandResult samples =
        RunCapture("ffmpeg -nostdin -v error -i " + ShellQuote(Out) + " -map 0:a -f s16le -");
    // One second of stereo, within one MP2 frame of 1152 samples; all of it silent.
    EXPECT_NEAR(double(samples.Output.size()) / 4, 44100, 1152);
    EXPECT_TRUE(
        std::all_of(samples.Output.begin(), samples.Output.end(), [](char c) { return c == 0; }));
    EXPECT_EQ(Probe(Out, "v:0")["nb_read_packets"], "25");
    // A source whose audio decodes gives no warning.
    Splitter.SourceFileName = Source;
    Splitter.Save();
    EXPECT_TRUE(Splitter.Warnings().empty());
}

// The quality setting reaches encoders that keep a constant-rate factor instead of a quantiser.
TEST_F(DSSplitTest, QualityReachesX264) {
    const auto videoBytes = [&](int quality) {
        Splitter.VideoCompressor = media::FindCompressor(false, "libx264");
        Splitter.VideoCompressor->Options.Quality = quality;
        Splitter.Save();
        EXPECT_EQ(DecodeMessages(Out), "");
        return VideoPacketBytes(Out);
    };
    EXPECT_GT(videoBytes(5), 3 * videoBytes(30));
}

// A few encoders of each kind that the lists offer, each with its own way of being stored:
// a FourCC of its own choosing (Ut Video), H.264, H.263+ at a size it takes, Annex-B-less
// audio frames, byte-counted PCM and ADPCM blocks.
TEST_F(DSSplitTest, ListedCompressorsWriteWhatFfmpegReads) {
    Splitter.StopTime = 1.4;
    const std::pair<const char*, const char*> cases[] = {
        {"utvideo", "pcm_u8"}, {"libx264", "ac3"}, {"h263p", "adpcm_ms"}, {"mjpeg", "aac"}};
    for (const auto& [video, audio] : cases) {
        SCOPED_TRACE(video);
        Splitter.VideoCompressor = media::FindCompressor(false, video);
        Splitter.AudioCompressor = media::FindCompressor(true, audio);
        Splitter.Save();
        EXPECT_EQ(
            RunCapture("ffmpeg -nostdin -v error -xerror -i " + ShellQuote(Out) + " -f null - 2>&1")
                .Output,
            "");
        EXPECT_EQ(Probe(Out, "v:0")["nb_read_packets"], "10");
        EXPECT_EQ(Probe(Out, "a:0")["channels"], "2");
    }
}

TEST_F(DSSplitTest, TheSourceIsNeverTheOutput) {
    const int64_t size = FileSizeOf(Source);
    Splitter.OutputFileName = Source;
    try {
        Splitter.Save();
        FAIL() << "saved over the source";
    } catch (const EZarvexError& e) {
        EXPECT_STREQ(e.what(), "The output file is the source file.");
    }
    EXPECT_EQ(FileSizeOf(Source), size);
}

// Only encoders that open for the source's pictures and write what FFmpeg's AVI reader
// decodes are offered; one that fails anyway says which and why.
TEST(CompressorLists, OnlyWhatOpensForThePicturesIsListed) {
    const auto names = [](bool audio, const media::TPictureFormat& pictures) {
        std::vector<TCompressor> list;
        EnumCompressors(audio, nullptr, &list, pictures);
        std::set<std::string> n;
        for (const TCompressor& c : list)
            n.insert(c.EncoderName);
        return n;
    };
    const std::set<std::string> qvga = names(false, {320, 240, 25});
    const std::set<std::string> cif = names(false, {352, 288, 25});
    EXPECT_TRUE(qvga.count("mpeg4") && cif.count("mpeg4"));
    for (const char* sized : {"h261", "h263"}) {
        EXPECT_FALSE(qvga.count(sized)) << sized;
        EXPECT_TRUE(cif.count(sized)) << sized;
    }
    for (const std::string& n : qvga)
        for (const char* device : {"_qsv", "_nvenc", "_vaapi", "_v4l2m2m", "_omx"})
            EXPECT_EQ(n.find(device), std::string::npos) << n;
    const std::set<std::string> audio = names(true, {});
    EXPECT_TRUE(audio.count("mp2"));
    EXPECT_FALSE(audio.count("dfpwm")); // its tag needs a sub-format we do not write

    const TCompressor h261 = media::FindCompressor(false, "h261");
    const std::string problem = media::CompressorProblem(h261, {320, 240, 25});
    EXPECT_NE(problem.find("h261"), std::string::npos) << problem;
    EXPECT_NE(problem.find("352x288"), std::string::npos) << problem; // the encoder's own words
    EXPECT_NE(problem.find("Media Error: FFFFFFEA"), std::string::npos) << problem;
    EXPECT_EQ(media::CompressorProblem(h261, {352, 288, 25}), "");
}

TEST(CompressorLists, ListsStayAlignedAndIndexesAreChecked) {
    std::vector<std::string> names;
    std::vector<TCompressor> list;
    EnumCompressors(false, &names, &list);
    ASSERT_EQ(names.size(), list.size());
    ASSERT_FALSE(list.empty());
    bool mpeg4 = false;
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(names[i], list[i].FriendlyName);
        EXPECT_FALSE(list[i].Audio);
        mpeg4 = mpeg4 || names[i] == "MPEG-4 part 2 (mpeg4)";
    }
    EXPECT_TRUE(mpeg4);
    EXPECT_FALSE(GetCompressorFilter(list, -1));
    EXPECT_FALSE(GetCompressorFilter(list, int(list.size())));
    EXPECT_EQ(GetCompressorFilter(list, 0)->EncoderName, list[0].EncoderName);

    std::vector<std::string> audio;
    EnumCompressors(true, &audio, nullptr);
    EXPECT_NE(
        std::find(audio.begin(), audio.end(), "libmp3lame MP3 (MPEG audio layer 3) (libmp3lame)"),
        audio.end());
    // Appending keeps what the lists held.
    EnumCompressors(true, &names, nullptr);
    EXPECT_EQ(names.size(), list.size() + audio.size());
}
