// The reader against AVI files made by writers nobody here wrote (ffmpeg, GStreamer's avimux),
// with ffprobe as the independent account of every chunk.
#include "avi_input/AVIRead.h"
#include "fixtures/Tools.h"

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

struct TProbePacket {
    int Stream = -1;
    int64_t Size = -1;
    int64_t Pos = -1;
    bool Key = false;
    bool HasPts = false;
    double PtsTime = 0;
};

struct TProbeStream {
    std::string Type;    // "video", "audio", ...
    int64_t Frames = -1; // the stream header's length, -1 when ffprobe gives none
};

struct TProbe {
    std::vector<TProbeStream> Streams;
    std::vector<TProbePacket> Packets;
};

int64_t Number(const std::map<std::string, std::string>& f, const std::string& key) {
    auto it = f.find(key);
    if (it == f.end() || it->second.empty() || it->second == "N/A")
        return -1;
    return std::strtoll(it->second.c_str(), nullptr, 10);
}

// Key=value output, so the result does not depend on the order ffprobe prints fields in.
TProbe Probe(const std::string& file) {
    const auto r = RunCapture("ffprobe -v error -show_entries "
                              "stream=index,codec_type,nb_frames:"
                              "packet=stream_index,pts_time,size,pos,flags -of compact " +
                              ShellQuote(file));
    TProbe probe;
    if (r.ExitCode != 0)
        return probe;
    std::stringstream in(r.Output);
    std::string line;
    while (std::getline(in, line)) {
        const auto f = CompactFields(line);
        if (line.rfind("packet|", 0) == 0) {
            TProbePacket p;
            p.Stream = int(Number(f, "stream_index"));
            p.Size = Number(f, "size");
            p.Pos = Number(f, "pos");
            p.Key = f.count("flags") && !f.at("flags").empty() && f.at("flags")[0] == 'K';
            if (f.count("pts_time") && f.at("pts_time") != "N/A") {
                p.HasPts = true;
                p.PtsTime = std::strtod(f.at("pts_time").c_str(), nullptr);
            }
            probe.Packets.push_back(p);
        } else if (line.rfind("stream|", 0) == 0) {
            const int64_t index = Number(f, "index");
            if (index < 0)
                continue;
            if (probe.Streams.size() <= size_t(index))
                probe.Streams.resize(size_t(index) + 1);
            probe.Streams[size_t(index)].Type = f.count("codec_type") ? f.at("codec_type") : "";
            probe.Streams[size_t(index)].Frames = Number(f, "nb_frames");
        }
    }
    return probe;
}

enum class TAudioKey { Flagged, Unflagged };

// Compares one stream's entries with ffprobe's packets of that stream, reporting the first
// difference only, so a shifted index gives one readable failure instead of thousands.
::testing::AssertionResult StreamMatches(const TAVIStream& stream, int s, const TProbe& probe,
                                         TAudioKey audioKey) {
    const bool video = probe.Streams[size_t(s)].Type == "video";
    std::vector<const TProbePacket*> theirs;
    for (const auto& p : probe.Packets)
        if (p.Stream == s)
            theirs.push_back(&p);
    // ffprobe gives no packet for a zero-size chunk (a dropped frame), though the chunk keeps
    // its time slot; so only our non-empty entries have a counterpart, while entry numbers
    // (and with them entry times) still count the empty ones.
    std::vector<int64_t> ours;
    for (int64_t i = 0; i < int64_t(stream.EntryCount()); ++i)
        if (stream.EntrySize(i) > 0)
            ours.push_back(i);
    if (ours.size() != theirs.size())
        return ::testing::AssertionFailure()
               << "stream " << s << ": " << ours.size() << " non-empty entries, ffprobe lists "
               << theirs.size() << " packets";
    for (size_t k = 0; k < ours.size(); ++k) {
        TAVIIndexEntry e;
        if (!stream.GetEntry(ours[k], e))
            return ::testing::AssertionFailure() << "stream " << s << ": entry " << ours[k];
        const TProbePacket& p = *theirs[k];
        auto fail = [&]() -> ::testing::AssertionResult {
            return ::testing::AssertionFailure()
                   << "stream " << s << ", entry " << ours[k] << " (packet " << k << "): ours pos "
                   << e.Offset << " size " << e.Size << " key " << int(e.KeyFrame) << " time "
                   << stream.EntryTime(ours[k]) << "; ffprobe pos " << p.Pos << " size " << p.Size
                   << " key " << p.Key << " pts_time "
                   << (p.HasPts ? std::to_string(p.PtsTime) : "N/A");
        };
        if (e.Offset != p.Pos || int64_t(e.Size) != p.Size)
            return fail() << " [position or size]";
        if (video) {
            if ((e.KeyFrame != 0) != p.Key)
                return fail() << " [key flag]";
            // ffprobe prints six decimals; its video pts is the entry number, gaps included.
            if (!p.HasPts || std::abs(stream.EntryTime(ours[k]) - p.PtsTime) > 1e-6)
                return fail() << " [time]";
        } else {
            // FFmpeg's demuxer marks every audio packet key whatever the index says, so its
            // flag is no witness; ours must be what the writer stored, which differs by writer.
            if (!p.Key)
                return fail() << " [ffprobe no longer marks all audio key]";
            if ((e.KeyFrame != 0) != (audioKey == TAudioKey::Flagged))
                return fail() << " [audio key flag as stored by the writer]";
            if (p.HasPts && std::abs(stream.EntryTime(ours[k]) - p.PtsTime) > 1e-6)
                return fail() << " [time]";
        }
    }
    return ::testing::AssertionSuccess();
}

void ExpectReaderMatchesProbe(const std::string& file, TAudioKey audioKey) {
    const TProbe probe = Probe(file);
    ASSERT_FALSE(probe.Streams.empty()) << "ffprobe cannot read " << file;
    ASSERT_FALSE(probe.Packets.empty());

    TAVIFileReader reader;
    reader.Open(file);
    ASSERT_EQ(reader.StreamCount(), int(probe.Streams.size()));
    const TAVIStream* firstVideo = nullptr;
    const TAVIStream* firstAudio = nullptr;
    for (int s = reader.StreamCount() - 1; s >= 0; --s) {
        if (probe.Streams[size_t(s)].Type == "video")
            firstVideo = &reader.Streams(s);
        if (probe.Streams[size_t(s)].Type == "audio")
            firstAudio = &reader.Streams(s);
    }
    EXPECT_EQ(reader.VideoStream(), firstVideo);
    EXPECT_EQ(reader.AudioStream(), firstAudio);
    for (int s = 0; s < reader.StreamCount(); ++s) {
        const TAVIStream& stream = reader.Streams(s);
        if (probe.Streams[size_t(s)].Type == "video") {
            // The header's length counts empty chunks too, so it must equal our entry count.
            if (probe.Streams[size_t(s)].Frames >= 0) {
                EXPECT_EQ(int64_t(stream.EntryCount()), probe.Streams[size_t(s)].Frames)
                    << "stream " << s;
            }
        }
        EXPECT_TRUE(StreamMatches(stream, s, probe, audioKey));
    }
}

struct TPeerKind {
    const char* Name;
    const char* Tool;
    // The command line; OUT stands for the quoted output path.
    const char* Command;
    TAudioKey AudioKey;
    bool HasEmptyChunks; // the file must hold dropped frames, or the case tests nothing extra
};

// ffmpeg's encoders mark every audio packet key and its writer stores that as the index flag;
// GStreamer's avimux stores no key flag for audio chunks at all. PCM stays in chunks of 1024
// samples, because FFmpeg cuts longer PCM chunks into 1024-sample packets, and the one-to-one
// match with its packets would be lost.
const TPeerKind PeerKinds[] = {
    {"FfmpegMpeg4Pcm", "ffmpeg",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mpeg4 -g 25 -c:a pcm_s16le OUT",
     TAudioKey::Flagged, false},
    {"FfmpegMpeg4Mp3", "ffmpeg",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mpeg4 -g 25 -c:a libmp3lame OUT",
     TAudioKey::Flagged, true},
    {"FfmpegMjpegPcm", "ffmpeg",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mjpeg -c:a pcm_s16le OUT",
     TAudioKey::Flagged, false},
    // Every seventh frame kept with its timestamp: ffmpeg fills the gaps with empty chunks.
    {"FfmpegMpeg4DroppedFrames", "ffmpeg",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -t 4 "
     "-vf select='not(mod(n\\,7))' -fps_mode passthrough -c:v mpeg4 -g 25 OUT",
     TAudioKey::Flagged, true},
    // avimux writes 'idx1' offsets from the file start, ffmpeg from the 'movi' list.
    {"GstreamerMjpeg", "gst-launch-1.0",
     "gst-launch-1.0 -q videotestsrc num-buffers=100 ! jpegenc ! avimux ! filesink location=OUT",
     TAudioKey::Unflagged, false},
    {"GstreamerMjpegPcm", "gst-launch-1.0",
     "gst-launch-1.0 -q avimux name=m ! filesink location=OUT "
     "videotestsrc num-buffers=100 ! jpegenc ! queue ! m.video_0 "
     "audiotestsrc num-buffers=100 ! audioconvert ! "
     "audio/x-raw,format=S16LE,channels=1,rate=44100 ! queue ! m.audio_0",
     TAudioKey::Unflagged, false},
};

// Failure messages name the kind instead of dumping its bytes.
void PrintTo(const TPeerKind& kind, std::ostream* os) {
    *os << kind.Name;
}

std::string WithOutput(std::string command, const std::string& out) {
    const size_t at = command.find("OUT");
    return command.replace(at, 3, ShellQuote(out));
}

class PeerFileTest : public ::testing::TestWithParam<TPeerKind> {};

} // namespace

TEST_P(PeerFileTest, EntriesMatchFfprobe) {
    const TPeerKind& kind = GetParam();
    ZARVEX_REQUIRE_TOOL(kind.Tool);
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string file = dir.File("peer.avi");
    ASSERT_EQ(RunCapture(WithOutput(kind.Command, file) + " </dev/null").ExitCode, 0)
        << kind.Command;

    ExpectReaderMatchesProbe(file, kind.AudioKey);

    TAVIFileReader reader;
    reader.Open(file);
    // Small files carry only 'idx1'; this is the path these cases exercise.
    EXPECT_FALSE(reader.HasOpenDMLIndex());
    ASSERT_NE(reader.VideoStream(), nullptr);
    bool empty = false;
    for (int64_t i = 0; i < int64_t(reader.VideoStream()->EntryCount()); ++i)
        empty = empty || reader.VideoStream()->EntrySize(i) == 0;
    EXPECT_EQ(empty, kind.HasEmptyChunks);
}

INSTANTIATE_TEST_SUITE_P(Writers, PeerFileTest, ::testing::ValuesIn(PeerKinds),
                         [](const auto& info) { return std::string(info.param.Name); });

namespace {

uint32_t LittleU32(const char* p) {
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

} // namespace

// One test, because CTest runs every case in a process of its own and the file is 1.1 GiB.
TEST(PeerOpenDMLTest, LargeFileEntriesMatchFfprobe) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("ffprobe");
    TTempDir dir;
    const std::string file = dir.File("large.avi");
    // Past 1 GiB ffmpeg writes a second RIFF ('AVIX') and OpenDML indexes. Raw 1280x720 frames
    // of 1.38 MB give about 1.1 GiB in 34 s within seconds; they are all key frames, so a small
    // mpeg4 stream beside them brings non-key entries into the indexes of both RIFF lists.
    ASSERT_EQ(RunCapture("ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=25 "
                         "-f lavfi -i testsrc2=size=320x240:rate=25 "
                         "-f lavfi -i sine=f=440:sample_rate=44100 -t 34 -map 0 -map 1 -map 2 "
                         "-c:v:0 rawvideo -pix_fmt:v:0 yuv420p -c:v:1 mpeg4 -g:v:1 25 "
                         "-c:a pcm_s16le " +
                         ShellQuote(file) + " </dev/null")
                  .ExitCode,
              0);
    ASSERT_GT(std::filesystem::file_size(file), uint64_t(1) << 30);
    // Without an 'AVIX' list the case would not prove that chunks past the first RIFF are found.
    std::ifstream in(file, std::ios::binary);
    char head[12];
    ASSERT_TRUE(in.read(head, 12));
    const int64_t secondRiff = 8 + int64_t(LittleU32(head + 4));
    in.seekg(std::streamoff(secondRiff));
    char next[12];
    ASSERT_TRUE(in.read(next, 12));
    ASSERT_EQ(std::string(next, 4), "RIFF");
    ASSERT_EQ(std::string(next + 8, 4), "AVIX");

    {
        TAVIFileReader reader;
        reader.Open(file);
        EXPECT_TRUE(reader.HasOpenDMLIndex());
        ASSERT_EQ(reader.StreamCount(), 3);
        for (int s = 0; s < reader.StreamCount(); ++s) {
            const TAVIStream& stream = reader.Streams(s);
            TAVIIndexEntry last;
            ASSERT_TRUE(stream.GetEntry(int64_t(stream.EntryCount()) - 1, last));
            EXPECT_GT(last.Offset, secondRiff)
                << "stream " << s << "'s index ends in the first RIFF";
        }
    }
    ExpectReaderMatchesProbe(file, TAudioKey::Flagged);
}
