// The system information report: its lines in order, the version and platform lines, the file
// section on ffmpeg-made and built files, and the decoder lists.
#include "info/SystemInfo.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "info/FileInfoText.h"
#include "support/ProdInfo.h"

#include "fixtures/AviBuilder.h"
#include "fixtures/MediaFixture.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/utsname.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

size_t DecoderCount(AVMediaType type) {
    size_t n = 0;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it))
        n += av_codec_is_decoder(codec) && codec->type == type;
    return n;
}

// Where a line is, or lines.size() when it is missing.
size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
    return size_t(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

std::string Expected(unsigned v) {
    const unsigned minor = (v >> 8) & 0xFF;
    return std::to_string(v >> 16) + "." + (minor < 10 ? "0" : "") + std::to_string(minor) + "." +
           std::to_string(v & 0xFF);
}

} // namespace

TEST(SystemInfoLines, WithoutFileTheListsFollowTheNotOpenedLine) {
    TAVIFileReader reader;
    const auto lines = SystemInfoLines(reader, "/proc/self/exe");
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Program version: " + ProductInfo.Version + " (" +
                            std::to_string(std::filesystem::file_size("/proc/self/exe")) + ")");
    EXPECT_EQ(lines[2], "libavcodec version: " + Expected(avcodec_version()));
    EXPECT_EQ(lines[3], "libavformat version: " + Expected(avformat_version()));
    EXPECT_EQ(lines[4], "The file is not opened");
    EXPECT_EQ(lines[5], "Video codecs:");

    const size_t video = std::min(DecoderCount(AVMEDIA_TYPE_VIDEO), MaxVideoCodecs);
    const size_t audio = DecoderCount(AVMEDIA_TYPE_AUDIO);
    ASSERT_GT(video, 0u);
    ASSERT_GT(audio, 0u);
    const size_t audioAt = IndexOf(lines, "Audio codecs:");
    EXPECT_EQ(audioAt, 6 + video) << "at most 201 video decoders, then the audio list";
    EXPECT_EQ(lines.size(), audioAt + 1 + audio);
    for (size_t i = 6; i < lines.size(); ++i) {
        if (i == audioAt)
            continue;
        EXPECT_EQ(lines[i].compare(0, 3, "   "), 0) << lines[i];
        EXPECT_GT(lines[i].size(), 3u) << "line " << i;
        EXPECT_LE(lines[i].size(), 3u + 128 + std::string(" codec fails").size());
    }
}

TEST(SystemInfoLines, MissingProgramFileCountsZeroBytes) {
    TTempDir dir;
    TAVIFileReader reader;
    EXPECT_EQ(SystemInfoLines(reader, dir.File("gone"))[0],
              "Program version: " + ProductInfo.Version + " (0)");
}

TEST(SystemInfoLines, OperatingSystemLineNamesTheKernel) {
    TAVIFileReader reader;
    const std::string line = SystemInfoLines(reader, "/proc/self/exe")[1];
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const std::string kernel = std::string(u.sysname) + " " + u.release + " " + u.machine;
    EXPECT_EQ(line.compare(0, 18, "Operating system: "), 0) << line;
    ASSERT_GE(line.size(), kernel.size());
    EXPECT_EQ(line.substr(line.size() - kernel.size()), kernel) << line;
}

TEST(SystemInfoLines, FileLinesOfAnFfmpegMadeAvi) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    TTempDir dir;
    const std::string file = MakeMpeg4Avi(dir, "clip.avi", 1.0);
    ASSERT_FALSE(file.empty());
    TAVIFileReader reader;
    reader.Open(file);
    const auto lines = SystemInfoLines(reader, "/proc/self/exe");
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[4], "File size: 0MB");
    EXPECT_EQ(lines[5], "Streams:");
    EXPECT_EQ(lines[6], "   1. vids:FMP4 - Sample size: 0 - Start frame: 0 - Initial frames: 0");
    EXPECT_EQ(lines[7], "   2. auds:1 - Sample size: 4 - Start frame: 0 - Initial frames: 0");
    EXPECT_EQ(lines[8], "Video codecs:");
}

TEST(SystemInfoVersionText, MinorHasTwoDigitsAtLeast) {
    EXPECT_EQ(VersionText(AV_VERSION_INT(59, 37, 100)), "59.37.100");
    EXPECT_EQ(VersionText(AV_VERSION_INT(60, 3, 100)), "60.03.100");
    EXPECT_EQ(VersionText(AV_VERSION_INT(58, 134, 0)), "58.134.0");
    EXPECT_EQ(VersionText(0), "0.00.0");
}

TEST(SystemInfoOsRelease, PrettyNameIsUnquoted) {
    EXPECT_EQ(
        OsReleasePrettyName("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                            "ID=debian\n"),
        "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME='Arch Linux'"), "Arch Linux");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=Plain"), "Plain");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\$HOME\""),
              "Say \"hi\" \\ $HOME");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME='back\\slash'"), "back\\slash");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAME=\"first\"\nPRETTY_NAME=\"second\""), "second");
}

TEST(SystemInfoOsRelease, OtherKeysAndCommentsGiveNothing) {
    EXPECT_EQ(OsReleasePrettyName(""), "");
    EXPECT_EQ(OsReleasePrettyName("NAME=\"Debian\"\n# PRETTY_NAME=\"x\"\n PRETTY_NAME=y\n"), "");
    EXPECT_EQ(OsReleasePrettyName("PRETTY_NAMES=\"x\"\nXPRETTY_NAME=\"y\""), "");
}

TEST(SystemInfoCodecLine, DescriptionFallbackAndFailure) {
    EXPECT_EQ(CodecInfoLine("h264", "H.264 / AVC", true), "   H.264 / AVC");
    EXPECT_EQ(CodecInfoLine("h264", nullptr, true), "   h264");
    EXPECT_EQ(CodecInfoLine("h264", "", true), "   h264");
    EXPECT_EQ(CodecInfoLine("h264", "H.264 / AVC", false), "   h264 codec fails");
    const std::string longText(200, 'x');
    EXPECT_EQ(CodecInfoLine("n", longText.c_str(), true), "   " + std::string(128, 'x'));
    EXPECT_EQ(CodecInfoLine(longText.c_str(), "L", false),
              "   " + std::string(128, 'x') + " codec fails");
}

namespace {

// A raw video stream and ten audio streams; stream 11 is MP3, the others PCM.
TAviLayout ElevenStreams() {
    TAviLayout layout;
    AVIStreamHeader video = VideoHeader(25, 1, MakeFourCC('D', 'I', 'B', ' '));
    video.dwStart = 7;
    video.dwInitialFrames = 3;
    layout.Streams.push_back({video, VideoFormat(16, 16, 0), true});
    for (int s = 1; s <= 10; ++s) {
        const uint16_t tag = s == 10 ? 0x55 : 1;
        layout.Streams.push_back(
            {AudioHeader(44100, 1, s == 10 ? 0 : 4), AudioFormat(tag, 2, 44100, 4, 16), true});
    }
    for (int s = 0; s <= 10; ++s)
        layout.Chunks.push_back({s, 64, true});
    return layout;
}

std::vector<std::string> FileLinesOf(std::vector<uint8_t> bytes, size_t padTo = 0) {
    TTempDir dir;
    // Bytes after the RIFF form let the file reach any size, odd ones too.
    if (padTo > bytes.size())
        bytes.resize(padTo, 0);
    WriteFileBytes(dir.File("f.avi"), bytes);
    TAVIFileReader reader;
    reader.Open(dir.File("f.avi"));
    return FileInfoLines(reader);
}

} // namespace

TEST(SystemInfoFileLines, StreamNumbersCodecTextsAndHeaderFields) {
    const auto lines = FileLinesOf(BuildAvi(ElevenStreams()).Bytes);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[2], "   1. vids: - Sample size: 0 - Start frame: 7 - Initial frames: 3")
        << "uncompressed video has no handler text";
    EXPECT_EQ(lines[3], "   2. auds:1 - Sample size: 4 - Start frame: 0 - Initial frames: 0");
    EXPECT_EQ(lines[11].substr(0, 12), "   10. auds:");
    EXPECT_EQ(lines[12].substr(0, 15), "   11. auds:85 ");
}

TEST(SystemInfoFileLines, MegabytesAreTruncated) {
    const auto bytes = BuildAvi(SimpleLayout(5, 5, true, TIndexStyle::Idx1Relative)).Bytes;
    EXPECT_EQ(FileLinesOf(bytes, 1048575)[0], "File size: 0MB");
    EXPECT_EQ(FileLinesOf(bytes, 1048576)[0], "File size: 1MB");
    EXPECT_EQ(FileLinesOf(bytes, 3 * 1048576 - 1)[0], "File size: 2MB");
}
