// Files our writer made, read by readers nobody here wrote: ffmpeg and ffprobe, GStreamer's
// avidemux in pull and push mode, and MediaInfo. Our reader's entries of the output stand for what
// was written; every peer must find exactly those chunks.
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/CopyAll.h"
#include "fixtures/Tools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// ---- What the file holds, by our reader, and where its RIFF lists start

struct TWrittenStream {
    bool Video = false;
    uint32_t Scale = 0;
    uint32_t Rate = 0;
    uint32_t SampleSize = 0;
    std::vector<TAVIIndexEntry> Entries;
};

struct TWritten {
    std::vector<TWrittenStream> Streams;
    std::vector<int64_t> RiffPos;   // header positions of the top-level 'RIFF' lists
    std::vector<std::string> Forms; // their form types, "AVI " then "AVIX"
    int64_t FirstRiffEnd = 0;
};

uint32_t LittleU32(const char* p) {
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

TWritten ReadWritten(const std::string& file) {
    TWritten w;
    std::ifstream in(file, std::ios::binary);
    const int64_t size = int64_t(std::filesystem::file_size(file));
    for (int64_t pos = 0; pos + 12 <= size;) {
        char head[12];
        in.seekg(std::streamoff(pos));
        if (!in.read(head, 12) || std::string(head, 4) != "RIFF")
            break;
        w.RiffPos.push_back(pos);
        w.Forms.emplace_back(head + 8, 4);
        const uint32_t n = LittleU32(head + 4);
        pos += 8 + int64_t(n) + (n & 1);
    }
    if (w.RiffPos.size() > 1)
        w.FirstRiffEnd = w.RiffPos[1];
    else
        w.FirstRiffEnd = size;

    TAVIFileReader reader;
    reader.Open(file);
    for (int s = 0; s < reader.StreamCount(); ++s) {
        const TAVIStream& stream = reader.Streams(s);
        TWrittenStream ws;
        ws.Video = stream.Header.fccType == streamVids;
        ws.Scale = stream.Header.dwScale;
        ws.Rate = stream.Header.dwRate;
        ws.SampleSize = stream.Header.dwSampleSize;
        for (int64_t i = 0; i < int64_t(stream.EntryCount()); ++i) {
            TAVIIndexEntry e;
            if (!stream.GetEntry(i, e))
                throw std::runtime_error("entry out of range");
            ws.Entries.push_back(e);
        }
        w.Streams.push_back(std::move(ws));
    }
    return w;
}

int64_t NonEmpty(const TWrittenStream& s) {
    return std::count_if(s.Entries.begin(), s.Entries.end(),
                         [](const TAVIIndexEntry& e) { return e.Size > 0; });
}

int64_t KeyFrames(const TWrittenStream& s) {
    return std::count_if(s.Entries.begin(), s.Entries.end(),
                         [](const TAVIIndexEntry& e) { return e.KeyFrame != 0; });
}

// The stream's length in its own units (frames, or samples when dwSampleSize is set), as its
// entries make it, whatever the header says.
uint64_t Units(const TWrittenStream& s) {
    if (s.SampleSize == 0)
        return s.Entries.size();
    uint64_t bytes = 0;
    for (const auto& e : s.Entries)
        bytes += e.Size;
    return bytes / s.SampleSize;
}

double ExpectedSeconds(const TWritten& w) {
    double longest = 0;
    for (const auto& s : w.Streams)
        longest = std::max(longest, double(Units(s)) * s.Scale / s.Rate);
    return longest;
}

double FrameSeconds(const TWritten& w) {
    for (const auto& s : w.Streams)
        if (s.Video)
            return double(s.Scale) / s.Rate;
    return 0;
}

// ---- Running tools, keeping their error output apart

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

TRun RunTool(const std::string& commandLine, const TTempDir& dir) {
    const std::string errFile = dir.File("stderr.txt");
    const auto r = RunCapture(commandLine + " </dev/null 2>" + ShellQuote(errFile));
    return {r.ExitCode, r.Output, ReadText(errFile)};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// ---- ffprobe's packets, read three ways

struct TPacket {
    int Stream = -1;
    int64_t Size = -1;
    int64_t Pos = -1;
    bool Key = false;
};

// Key=value output, so the result does not depend on the order ffprobe prints fields in.
std::vector<TPacket> ProbePackets(const std::string& file, const std::string& options,
                                  const TTempDir& dir, std::string& errors) {
    const TRun r = RunTool("ffprobe -v error " + options +
                               " -show_entries packet=stream_index,size,pos,flags -of compact " +
                               ShellQuote(file),
                           dir);
    errors = r.ExitCode == 0 ? r.Err : "exit code " + std::to_string(r.ExitCode) + ": " + r.Err;
    std::vector<TPacket> packets;
    for (const auto& line : Lines(r.Out)) {
        if (line.rfind("packet|", 0) != 0)
            continue;
        auto f = CompactFields(line);
        TPacket p;
        p.Stream = std::atoi(f["stream_index"].c_str());
        p.Size = std::strtoll(f["size"].c_str(), nullptr, 10);
        p.Pos = std::strtoll(f["pos"].c_str(), nullptr, 10);
        p.Key = !f["flags"].empty() && f["flags"][0] == 'K';
        packets.push_back(p);
    }
    return packets;
}

// Every non-empty chunk whose payload lies before `end`, in order, stream by stream. FFmpeg gives
// no packet for an empty chunk. Its audio packets are all key whatever the index says, and so are
// those of intra-only codecs such as MJPEG, so only video flags are compared (they are a witness
// for mpeg4).
::testing::AssertionResult PacketsMatch(const std::vector<TPacket>& theirs, const TWritten& w,
                                        int64_t end) {
    for (int s = 0; s < int(w.Streams.size()); ++s) {
        std::vector<const TAVIIndexEntry*> ours;
        for (const auto& e : w.Streams[size_t(s)].Entries)
            if (e.Size > 0 && e.Offset < end)
                ours.push_back(&e);
        std::vector<const TPacket*> seen;
        for (const auto& p : theirs)
            if (p.Stream == s)
                seen.push_back(&p);
        for (size_t k = 0; k < std::min(ours.size(), seen.size()); ++k) {
            const TAVIIndexEntry& e = *ours[k];
            const TPacket& p = *seen[k];
            if (e.Offset != p.Pos || int64_t(e.Size) != p.Size ||
                (w.Streams[size_t(s)].Video && (e.KeyFrame != 0) != p.Key))
                return ::testing::AssertionFailure()
                       << "stream " << s << ", non-empty chunk " << k << ": written pos "
                       << e.Offset << " size " << e.Size << " key " << int(e.KeyFrame)
                       << "; ffprobe pos " << p.Pos << " size " << p.Size << " key " << p.Key;
        }
        if (ours.size() != seen.size())
            return ::testing::AssertionFailure()
                   << "stream " << s << ": " << ours.size() << " chunks written, ffprobe lists "
                   << seen.size();
    }
    for (const auto& p : theirs)
        if (p.Stream < 0 || p.Stream >= int(w.Streams.size()))
            return ::testing::AssertionFailure() << "ffprobe lists stream " << p.Stream;
    return ::testing::AssertionSuccess();
}

// ---- Which index ffmpeg actually loaded: its trace log names every index it reads, so a
// rejected 'indx' cannot hide behind a silent fallback to 'idx1' or a scan.

int StreamOfChunkId(uint32_t id) {
    return ((id & 0xFF) - '0') * 10 + ((id >> 8 & 0xFF) - '0');
}

struct TStdIndexSeen {
    int Stream = -1;
    int64_t Entries = 0;
    uint64_t Base = 0;
};

struct TIdx1Seen {
    int Stream = -1;
    uint32_t Flags = 0;
    int64_t Len = 0;
};

struct TIndexTrace {
    std::vector<TStdIndexSeen> StdIndexes;
    std::vector<TIdx1Seen> Idx1;
};

// Only the header and the indexes are read: no packet is asked for.
TIndexTrace FfmpegIndexes(const std::string& file, const std::string& options,
                          const TTempDir& dir) {
    TIndexTrace t;
    const TRun r = RunTool(
        "ffprobe -v trace " + options + " -show_entries format=duration " + ShellQuote(file), dir);
    for (const auto& line : Lines(r.Err)) {
        int longs = 0, type = 0, entries = 0, number = 0, len = 0;
        unsigned id = 0, flags = 0;
        unsigned long long base = 0, pos = 0;
        const char* p = std::strstr(line.c_str(), "longs_per_entry:");
        if (p &&
            std::sscanf(p,
                        "longs_per_entry:%d index_type:%d entries_in_use:%d chunk_id:%x base:%llx",
                        &longs, &type, &entries, &id, &base) == 5 &&
            type == AVI_INDEX_OF_CHUNKS)
            t.StdIndexes.push_back({StreamOfChunkId(id), entries, base});
        p = std::strstr(line.c_str(), "] ");
        if (p && std::sscanf(p + 2, "%d: tag=0x%x flags=0x%x pos=0x%llx len=%d", &number, &id,
                             &flags, &pos, &len) == 5)
            t.Idx1.push_back({StreamOfChunkId(id), flags, len});
    }
    return t;
}

void ExpectFfprobeAgrees(const std::string& file, const TWritten& w, const TTempDir& dir) {
    // Through 'indx': every stream's standard indexes cover all its entries, each counted from
    // the header of the RIFF list that holds it, and every RIFF list is indexed.
    // A rejected 'indx' makes ffmpeg load 'idx1' instead, which it never reads otherwise.
    const TIndexTrace odml = FfmpegIndexes(file, "", dir);
    EXPECT_EQ(odml.Idx1.size(), 0u) << "ffmpeg fell back from 'indx' to 'idx1'";
    const auto& stdIndexes = odml.StdIndexes;
    std::set<uint64_t> bases;
    for (int s = 0; s < int(w.Streams.size()); ++s) {
        int64_t entries = 0;
        for (const auto& ix : stdIndexes)
            if (ix.Stream == s) {
                entries += ix.Entries;
                bases.insert(ix.Base);
                EXPECT_TRUE(std::count(w.RiffPos.begin(), w.RiffPos.end(), int64_t(ix.Base)))
                    << "stream " << s << ": qwBaseOffset " << ix.Base << " is no RIFF list";
            }
        EXPECT_EQ(entries, int64_t(w.Streams[size_t(s)].Entries.size()))
            << "stream " << s << ": entries ffmpeg loaded from 'ix##'";
    }
    EXPECT_EQ(bases.size(), w.RiffPos.size()) << "RIFF lists indexed from their own header";

    // Through 'idx1': exactly the first RIFF list's chunks, empty ones too, in file order.
    std::vector<std::pair<int, const TAVIIndexEntry*>> first;
    for (int s = 0; s < int(w.Streams.size()); ++s)
        for (const auto& e : w.Streams[size_t(s)].Entries)
            if (e.Offset < w.FirstRiffEnd)
                first.push_back({s, &e});
    std::sort(first.begin(), first.end(),
              [](const auto& a, const auto& b) { return a.second->Offset < b.second->Offset; });
    const auto idx1 = FfmpegIndexes(file, "-use_odml 0", dir).Idx1;
    EXPECT_EQ(idx1.size(), first.size()) << "'idx1' entries ffmpeg loaded";
    for (size_t k = 0; k < std::min(idx1.size(), first.size()); ++k) {
        const TAVIIndexEntry& e = *first[k].second;
        const bool key = (idx1[k].Flags & AVIIF_KEYFRAME) != 0;
        if (idx1[k].Stream != first[k].first || idx1[k].Len != int64_t(e.Size) ||
            key != (e.KeyFrame != 0)) {
            ADD_FAILURE() << "'idx1' entry " << k << ": stream " << idx1[k].Stream << " size "
                          << idx1[k].Len << " key " << key << "; written stream " << first[k].first
                          << " size " << e.Size << " key " << int(e.KeyFrame) << " at " << e.Offset;
            break;
        }
    }

    // Each stream's length as ffmpeg reads it from the header (nb_frames is dwLength): empty
    // chunks count, and byte-counted audio counts samples.
    const TRun lengths = RunTool(
        "ffprobe -v error -show_entries stream=index,nb_frames -of compact " + ShellQuote(file),
        dir);
    EXPECT_EQ(lengths.Err, "");
    size_t listed = 0;
    for (const auto& line : Lines(lengths.Out)) {
        auto f = CompactFields(line);
        const size_t s = size_t(std::atoi(f["index"].c_str()));
        if (line.rfind("stream|", 0) != 0 || s >= w.Streams.size())
            continue;
        ++listed;
        EXPECT_EQ(f["nb_frames"], std::to_string(Units(w.Streams[s]))) << "length of stream " << s;
    }
    EXPECT_EQ(listed, w.Streams.size());

    // The packets of the three ways, each against what was written; agreeing with the written
    // entries, they agree with each other.
    const struct {
        const char* Options;
        bool FirstRiffOnly;
    } ways[] = {
        {"-fflags +sortdts", false},            // through 'indx'
        {"-fflags +ignidx", false},             // a plain scan of the chunks
        {"-use_odml 0 -fflags +sortdts", true}, // through 'idx1'
    };
    for (const auto& way : ways) {
        std::string errors;
        const auto packets = ProbePackets(file, way.Options, dir, errors);
        EXPECT_EQ(errors, "") << way.Options;
        EXPECT_TRUE(PacketsMatch(packets, w, way.FirstRiffOnly ? w.FirstRiffEnd : INT64_MAX))
            << way.Options;
    }
}

// ---- GStreamer's avidemux

struct TGstRun {
    int ExitCode = -1;
    std::vector<int64_t> Buffers; // per stream
    std::string Log;              // avidemux's log at INFO level
};

// multifilesink with max-files=1 keeps only the last buffer's file, numbered from 0; the
// last-message lines of fakesink are coalesced and cannot be counted.
TGstRun RunAvidemux(const std::string& file, const std::string& source, const TWritten& w,
                    const TTempDir& dir) {
    const std::filesystem::path out = dir.Path() / ("gst-" + source);
    std::filesystem::create_directories(out);
    std::string pipeline =
        "GST_DEBUG=avidemux:4 GST_DEBUG_NO_COLOR=1 timeout 300 gst-launch-1.0 -q " + source +
        " location=" + ShellQuote(file) + " ! avidemux name=d";
    int videos = 0, audios = 0;
    for (size_t s = 0; s < w.Streams.size(); ++s) {
        const std::string pad = w.Streams[s].Video ? "video_" + std::to_string(videos++)
                                                   : "audio_" + std::to_string(audios++);
        pipeline += " d." + pad + " ! queue ! multifilesink max-files=1 location=" +
                    ShellQuote((out / ("s" + std::to_string(s) + "_%09d")).string());
    }
    const TRun r = RunTool(pipeline, dir);
    TGstRun g;
    g.ExitCode = r.ExitCode;
    g.Log = r.Err;
    g.Buffers.assign(w.Streams.size(), 0);
    for (const auto& f : std::filesystem::directory_iterator(out)) {
        const std::string name = f.path().filename().string();
        const size_t bar = name.find('_');
        const size_t s = size_t(std::atoi(name.c_str() + 1));
        if (name[0] == 's' && bar != std::string::npos && s < g.Buffers.size())
            g.Buffers[s] = std::max(g.Buffers[s], int64_t(std::atoll(name.c_str() + bar + 1)) + 1);
    }
    std::filesystem::remove_all(out);
    return g;
}

void ExpectGstreamerDelivers(const std::string& file, const TWritten& w, const TTempDir& dir) {
    for (const std::string source : {"filesrc", "pushfilesrc"}) {
        SCOPED_TRACE(source);
        const TGstRun g = RunAvidemux(file, source, w, dir);
        EXPECT_EQ(g.ExitCode, 0) << g.Log;
        for (const auto& line : Lines(g.Log))
            if (line.find(" WARN ") != std::string::npos ||
                line.find(" ERROR ") != std::string::npos)
                ADD_FAILURE() << line;
        // avidemux, like FFmpeg, keeps an empty chunk's time slot but pushes no buffer for it,
        // in both modes (ffmpeg's own files behave the same).
        for (size_t s = 0; s < w.Streams.size(); ++s)
            EXPECT_EQ(g.Buffers[s], NonEmpty(w.Streams[s])) << "buffers of stream " << s;
        if (source != "filesrc")
            continue; // push mode streams through 'movi' and reads no index

        // Pull mode must have built its index from our 'indx' (stream 0 has one), with every
        // entry, empty ones included, and our key frames.
        int64_t subEntries = 0, total = 0;
        std::map<int, std::pair<int64_t, int64_t>> stats; // entries, key frames
        for (const auto& line : Lines(g.Log)) {
            long long n = 0, keys = 0;
            int s = 0;
            const char* p = std::strstr(line.c_str(), "Parsing subindex, nr_entries =");
            if (p && std::sscanf(p, "Parsing subindex, nr_entries = %lld", &n) == 1)
                subEntries += n;
            p = std::strstr(line.c_str(), "do_index_stats:");
            if (p && (p = std::strstr(p, "Stream ")) &&
                std::sscanf(p, "Stream %d, dur %*s %lld entries, %lld keyframes", &s, &n, &keys) ==
                    3)
                stats[s] = {n, keys};
        }
        for (size_t s = 0; s < w.Streams.size(); ++s) {
            total += int64_t(w.Streams[s].Entries.size());
            const auto it = stats.find(int(s));
            ASSERT_NE(it, stats.end()) << "no index statistics for stream " << s << "\n" << g.Log;
            EXPECT_EQ(it->second.first, int64_t(w.Streams[s].Entries.size())) << "stream " << s;
            EXPECT_EQ(it->second.second, KeyFrames(w.Streams[s])) << "key frames of stream " << s;
        }
        EXPECT_EQ(subEntries, total) << "entries avidemux read from 'ix##'";
    }
}

// ---- MediaInfo

void ExpectMediaInfo(const std::string& file, const TWritten& w, const std::string& profile,
                     const TTempDir& dir) {
    const TRun r =
        RunTool("mediainfo " + ShellQuote("--Inform=General;%Format%|%Format_Profile%|%Duration%") +
                    " " + ShellQuote(file),
                dir);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> f;
    std::stringstream in(r.Out.substr(0, r.Out.find('\n')));
    std::string item;
    while (std::getline(in, item, '|'))
        f.push_back(item);
    ASSERT_EQ(f.size(), 3u) << r.Out;
    EXPECT_EQ(f[0], "AVI");
    EXPECT_EQ(f[1], profile) << "MediaInfo names OpenDML only for a file with an 'AVIX' list";
    const double expected = ExpectedSeconds(w) * 1000;
    EXPECT_NEAR(std::strtod(f[2].c_str(), nullptr), expected, FrameSeconds(w) * 1000 + 1)
        << "duration in ms";
}

// ---- Small files by ffmpeg, copied through our writer

struct TSourceKind {
    const char* Name;
    const char* Command; // OUT stands for the quoted output path
    bool HasEmptyChunks; // the source must hold empty chunks, or the case tests nothing extra
};

// PCM stays in chunks of 1024 samples, because FFmpeg cuts longer PCM chunks into 1024-sample
// packets and the one-to-one match with its packets would be lost. With MP3, ffmpeg writes an
// empty video chunk to fill a timestamp gap.
const TSourceKind SourceKinds[] = {
    {"Mpeg4Pcm",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mpeg4 -g 25 -c:a pcm_s16le OUT",
     false},
    {"Mpeg4Mp3",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mpeg4 -g 25 -c:a libmp3lame OUT",
     true},
    {"MjpegPcm",
     "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 "
     "-f lavfi -i sine=f=440:sample_rate=44100 -t 4 -c:v mjpeg -c:a pcm_s16le OUT",
     false},
};

void PrintTo(const TSourceKind& kind, std::ostream* os) {
    *os << kind.Name;
}

std::string WithOutput(std::string command, const std::string& out) {
    const size_t at = command.find("OUT");
    return command.replace(at, 3, ShellQuote(out));
}

class WriterPeerTest : public ::testing::TestWithParam<TSourceKind> {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = Dir.File("source.avi");
        Output = Dir.File("output.avi");
        const TRun r = RunTool(WithOutput(GetParam().Command, Source), Dir);
        ASSERT_EQ(r.ExitCode, 0) << GetParam().Command << "\n" << r.Err;
        Chunks = CopyAllChunks(Source, Output, 3);
        Written = ReadWritten(Output);
        ASSERT_EQ(Written.Forms, std::vector<std::string>{"AVI "});
        bool empty = false;
        for (const auto& s : Written.Streams)
            for (const auto& e : s.Entries)
                empty = empty || e.Size == 0;
        ASSERT_EQ(empty, GetParam().HasEmptyChunks);
    }

    TTempDir Dir;
    std::string Source;
    std::string Output;
    uint64_t Chunks = 0;
    TWritten Written;
};

} // namespace

TEST_P(WriterPeerTest, FfmpegDecodesWithoutComplaint) {
    const TRun r = RunTool("ffmpeg -v error -xerror -i " + ShellQuote(Output) + " -f null -", Dir);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out + r.Err, "");
}

TEST_P(WriterPeerTest, FfmpegCopiesTheSourcesPackets) {
    auto hashes = [&](const std::string& file) {
        const TRun r = RunTool(
            "ffmpeg -v error -i " + ShellQuote(file) + " -map 0 -c copy -f framemd5 -", Dir);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_EQ(r.Err, "");
        return Lines(r.Out);
    };
    const auto theirs = hashes(Source);
    const auto ours = hashes(Output);
    // Stream, timestamps, size and hash of every packet; the header lines give codec and timing.
    ASSERT_GT(theirs.size(), 100u);
    for (size_t i = 0; i < std::min(theirs.size(), ours.size()); ++i)
        ASSERT_EQ(ours[i], theirs[i]) << "line " << i;
    EXPECT_EQ(ours.size(), theirs.size());
}

TEST_P(WriterPeerTest, FfprobeFindsTheWrittenChunksThroughEveryIndex) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    ExpectFfprobeAgrees(Output, Written, Dir);
}

TEST_P(WriterPeerTest, GstreamerDeliversEveryChunk) {
    ZARVEX_REQUIRE_TOOL("gst-launch-1.0");
    ExpectGstreamerDelivers(Output, Written, Dir);
}

TEST_P(WriterPeerTest, MediaInfoReportsAviAndItsDuration) {
    ZARVEX_REQUIRE_TOOL("mediainfo");
    ExpectMediaInfo(Output, Written, "", Dir);
}

// Without OpenDML indexes our reader goes through 'idx1', with its own offset convention; the
// chunks it finds must be the same, though the shorter headers move them.
TEST_P(WriterPeerTest, Idx1OnlyOutputReadsBackLikeTheOpenDMLOutput) {
    const std::string legacy = Dir.File("legacy.avi");
    ASSERT_EQ(CopyAllChunks(Source, legacy, 1), Chunks);
    TAVIFileReader a, b;
    a.Open(Output);
    b.Open(legacy);
    EXPECT_TRUE(a.HasOpenDMLIndex());
    EXPECT_FALSE(b.HasOpenDMLIndex());
    ASSERT_EQ(a.StreamCount(), b.StreamCount());
    std::vector<uint8_t> x, y;
    for (int s = 0; s < a.StreamCount(); ++s) {
        const TAVIStream& sa = a.Streams(s);
        const TAVIStream& sb = b.Streams(s);
        ASSERT_EQ(sa.EntryCount(), sb.EntryCount()) << "stream " << s;
        for (int64_t i = 0; i < int64_t(sa.EntryCount()); ++i) {
            ASSERT_EQ(sa.EntrySize(i), sb.EntrySize(i)) << "stream " << s << " entry " << i;
            ASSERT_EQ(sa.IsKeyFrame(i), sb.IsKeyFrame(i)) << "stream " << s << " entry " << i;
            x.assign(sa.EntrySize(i) + 1, 0);
            y.assign(sb.EntrySize(i) + 1, 1);
            ASSERT_TRUE(sa.ReadChunk(i, x.data()));
            ASSERT_TRUE(sb.ReadChunk(i, y.data()));
            x.pop_back();
            y.pop_back();
            ASSERT_EQ(x, y) << "payload of stream " << s << " entry " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, WriterPeerTest, ::testing::ValuesIn(SourceKinds),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- A file past 1 GiB: two RIFF lists, 'ix##' flushed inside the first one and at the end of
// both. One test, because CTest runs every case in a process of its own.

TEST(WriterPeerLargeTest, TwoRiffListsReadByEveryPeer) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("ffprobe");
    ZARVEX_REQUIRE_TOOL("gst-launch-1.0");
    ZARVEX_REQUIRE_TOOL("mediainfo");
    TTempDir dir;
    if (std::filesystem::space(dir.Path()).available < (uint64_t(3) << 30))
        GTEST_SKIP() << "less than 3 GiB free in " << dir.Path();

    // One second of real mpeg4 (an I frame, then P frames), about 45 KB a frame, repeated: the
    // peers decode the first frames while probing, and ffmpeg's key flags follow the frame types.
    const std::string frames = dir.File("frames.avi");
    ASSERT_EQ(RunTool("ffmpeg -v error -f lavfi -i testsrc2=size=640x480:rate=25 -t 1 "
                      "-vf noise=alls=10:allf=t -c:v mpeg4 -g 25 -q:v 5 " +
                          ShellQuote(frames),
                      dir)
                  .ExitCode,
              0);
    std::vector<std::vector<uint8_t>> video;
    {
        TAVIFileReader r;
        r.Open(frames);
        ASSERT_NE(r.VideoStream(), nullptr);
        const TAVIStream& v = *r.VideoStream();
        ASSERT_EQ(v.EntryCount(), 25u);
        for (int64_t i = 0; i < 25; ++i) {
            ASSERT_EQ(v.IsKeyFrame(i), i == 0);
            video.emplace_back(v.EntrySize(i));
            ASSERT_TRUE(v.ReadChunk(i, video.back().data()));
        }
    }
    std::vector<uint8_t> audio(4096); // 1024 stereo 16-bit samples
    for (size_t i = 0; i < audio.size(); ++i)
        audio[i] = uint8_t(i * 37);

    const std::string file = dir.File("large.avi");
    std::vector<std::vector<std::pair<uint32_t, bool>>> sent(2); // size and key per chunk
    {
        TAVIFileWriter w;
        w.Open(file, AVIF_HASINDEX);
        const uint32_t fmp4 = MakeFourCC('F', 'M', 'P', '4');
        const auto vf = VideoFormat(640, 480, fmp4);
        const auto af = AudioFormat(1, 2, 44100, 4, 16);
        w.AddStream(0, VideoHeader(25, 1, fmp4), vf.data(), int32_t(vf.size()));
        w.AddStream(1, AudioHeader(44100, 1, 4), af.data(), int32_t(af.size()));
        uint64_t bytes = 0, samples = 0;
        for (uint32_t f = 0; bytes < (uint64_t(1) << 30) + (96u << 20); ++f) {
            const auto& v = video[f % 25];
            w.WriteChunk(0, v.data(), f % 25 == 0, int32_t(v.size()));
            sent[0].push_back({uint32_t(v.size()), f % 25 == 0});
            bytes += 8 + v.size() + (v.size() & 1);
            for (; samples * 25 < uint64_t(f + 1) * 44100; samples += 1024) {
                w.WriteChunk(1, audio.data(), true, int32_t(audio.size()));
                sent[1].push_back({uint32_t(audio.size()), true});
                bytes += 8 + audio.size();
            }
        }
        w.Close();
    }

    const TWritten written = ReadWritten(file);
    ASSERT_EQ(written.Forms, (std::vector<std::string>{"AVI ", "AVIX"}));
    ASSERT_EQ(written.Streams.size(), 2u);
    {
        // Our reader, through 'indx': every chunk, its flag and its bytes. The first difference
        // is reported, and the peers still get their say.
        TAVIFileReader r;
        r.Open(file);
        EXPECT_TRUE(r.HasOpenDMLIndex());
        std::vector<uint8_t> got;
        for (int s = 0; s < 2; ++s) {
            const TWrittenStream& ws = written.Streams[size_t(s)];
            EXPECT_EQ(ws.Entries.size(), sent[size_t(s)].size()) << "stream " << s;
            int64_t inFirst = 0;
            for (size_t i = 0; i < std::min(ws.Entries.size(), sent[size_t(s)].size()); ++i) {
                const TAVIIndexEntry& e = ws.Entries[i];
                got.assign(e.Size, 0);
                if (e.Size != sent[size_t(s)][i].first ||
                    (e.KeyFrame != 0) != sent[size_t(s)][i].second ||
                    !r.Streams(s).ReadChunk(int64_t(i), got.data()) ||
                    got != (s == 0 ? video[i % 25] : audio)) {
                    ADD_FAILURE() << "stream " << s << " entry " << i << " at " << e.Offset
                                  << ": size " << e.Size << " key " << int(e.KeyFrame)
                                  << "; written size " << sent[size_t(s)][i].first << " key "
                                  << sent[size_t(s)][i].second << " (or other bytes)";
                    break;
                }
                inFirst += e.Offset < written.FirstRiffEnd;
            }
            // Flushes by count inside the first list, and chunks in the second.
            EXPECT_GT(inFirst, int64_t(TAVIFileWriter::StdIndexFlushAt)) << "stream " << s;
            EXPECT_LT(inFirst, int64_t(ws.Entries.size())) << "stream " << s;
        }
    }
    ExpectFfprobeAgrees(file, written, dir);
    ExpectMediaInfo(file, written, "OpenDML", dir);
    ExpectGstreamerDelivers(file, written, dir);
}
