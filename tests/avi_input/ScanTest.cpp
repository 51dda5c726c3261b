// Files whose index is missing, cut off or stale: when the reader rebuilds it by scanning, and
// what the scan recovers, on built files whose every chunk is known.
#include "avi_input/FourCC.h"
#include "fixtures/ReaderFixture.h"
#include "support/Endian.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class ScanTest : public ReaderFixture {
protected:
    // Opens with the index rebuilt whenever it is found wanting.
    TAVIFileReader& Scan(const std::vector<uint8_t>& bytes) {
        Reader.IndexRebuild = TIndexRebuild::Always;
        return OpenBytes(bytes);
    }
    // Positions and sizes of stream s's entries: what a scan can know.
    std::vector<std::pair<int64_t, uint32_t>> Chunks(int s) {
        std::vector<std::pair<int64_t, uint32_t>> out;
        for (const TExpectedEntry& e : EntriesOf(s))
            out.emplace_back(e.Offset, e.Size);
        return out;
    }
    static std::vector<std::pair<int64_t, uint32_t>>
    Expected(const std::vector<TExpectedEntry>& entries, int64_t end = INT64_MAX,
             int64_t shiftFrom = INT64_MAX, int64_t shift = 0) {
        std::vector<std::pair<int64_t, uint32_t>> out;
        for (const TExpectedEntry& e : entries)
            if (e.Offset + e.Size <= end)
                out.emplace_back(e.Offset + (e.Offset > shiftFrom ? shift : 0), e.Size);
        return out;
    }
    static size_t HeaderOf(const TBuiltAvi& avi, int s, size_t i) {
        return size_t(avi.Entries[size_t(s)][i].Offset) - 8;
    }
};

TEST_F(ScanTest, IntactFilesKeepTheirIndexAndMissingOnesAreRebuiltOnRequest) {
    TAviLayout layout = SimpleLayout(40, 10, true, TIndexStyle::Idx1Relative);
    const TBuiltAvi intact = BuildAvi(layout);
    Scan(intact.Bytes);
    EXPECT_FALSE(Reader.ScanReport().Rebuilt);
    EXPECT_EQ(EntriesOf(0), intact.Entries[0]);

    layout.Index = TIndexStyle::None;
    const TBuiltAvi bare = BuildAvi(layout);
    Reader.IndexRebuild = TIndexRebuild::Never;
    EXPECT_EQ(OpenError(bare.Bytes), "The index is not found");
    std::string asked;
    Reader.IndexRebuild = TIndexRebuild::Ask;
    Reader.OnRebuildQuestion = [&](const std::string& q) {
        asked = q;
        return false;
    };
    EXPECT_EQ(OpenError(bare.Bytes), "The index is not found");
    EXPECT_EQ(asked, TAVIFileReader::MissingIndexQuestion);

    Reader.OnRebuildQuestion = [](const std::string&) { return true; };
    int progressCalls = 0;
    Reader.OnScanProgress = [&](double, bool&) { ++progressCalls; };
    OpenBytes(bare.Bytes);
    EXPECT_GT(progressCalls, 0);
    const TIndexScanReport& r = Reader.ScanReport();
    ASSERT_TRUE(r.Rebuilt);
    EXPECT_EQ(r.Reason, "no index");
    EXPECT_EQ(Chunks(0), Expected(bare.Entries[0]));
    EXPECT_EQ(Chunks(1), Expected(bare.Entries[1]));
    // The built XVID payloads hold no picture header: only the first picture counts as a key.
    EXPECT_EQ(r.Streams[0].KeyFrames, 1u);
    EXPECT_EQ(r.Streams[0].Keys, TKeyFrameSource::Derived);
    EXPECT_EQ(r.Streams[1].KeyFrames, r.Streams[1].Chunks);
    EXPECT_EQ(r.DataEnd, bare.Entries[1].back().Offset + bare.Entries[1].back().Size);
    EXPECT_EQ(r.SkipCount, 0u);

    Reader.OnScanProgress = [](double, bool& cancel) { cancel = true; };
    EXPECT_EQ(OpenError(bare.Bytes), "The index is not found");
}

TEST_F(ScanTest, CutOffFilesGiveEveryWholeChunkBeforeTheCut) {
    TAviLayout layout = SimpleLayout(30, 5, true, TIndexStyle::Idx1Relative);
    layout.Streams[0].Format = VideoFormat(320, 240, MakeFourCC('M', 'J', 'P', 'G'));
    const TBuiltAvi avi = BuildAvi(layout);
    for (size_t cut = avi.MoviPos; cut < avi.Bytes.size(); cut += 173) {
        SCOPED_TRACE(cut);
        const std::vector<uint8_t> bytes(avi.Bytes.begin(), avi.Bytes.begin() + long(cut));
        Scan(bytes);
        // Also a cut inside idx1: what is left of it stops short of the data.
        EXPECT_TRUE(Reader.ScanReport().Rebuilt);
        EXPECT_EQ(Chunks(0), Expected(avi.Entries[0], int64_t(cut)));
        EXPECT_EQ(Chunks(1), Expected(avi.Entries[1], int64_t(cut)));
        // Motion JPEG: every picture is a key frame.
        EXPECT_EQ(Reader.ScanReport().Streams[0].KeyFrames, Reader.Streams(0).EntryCount());
    }
    // Cut inside the headers there is nothing to scan.
    EXPECT_NE(OpenError({avi.Bytes.begin(), avi.Bytes.begin() + long(avi.MoviPos) - 20}), "");
}

TEST_F(ScanTest, DamagedIndexesAreRebuiltAndDamagedDataSkipped) {
    TAviLayout layout = SimpleLayout(40, 10, true, TIndexStyle::Idx1Relative);
    const TBuiltAvi avi = BuildAvi(layout);
    {
        SCOPED_TRACE("idx1 zeroed");
        std::vector<uint8_t> b = avi.Bytes;
        std::fill(b.begin() + long(avi.Idx1Pos) + 8, b.end(), 0);
        // Declined, the file opens as the index has it.
        std::string asked;
        Reader.IndexRebuild = TIndexRebuild::Ask;
        Reader.OnRebuildQuestion = [&](const std::string& q) {
            asked = q;
            return false;
        };
        OpenBytes(b);
        EXPECT_EQ(asked, TAVIFileReader::DamagedIndexQuestion);
        EXPECT_EQ(Reader.VideoStream()->EntryCount(), 0u);
        EXPECT_FALSE(Reader.ScanReport().Rebuilt);
        // Cancelled, the same.
        Reader.OnScanProgress = [](double, bool& cancel) { cancel = true; };
        Scan(b);
        EXPECT_FALSE(Reader.ScanReport().Rebuilt);
        EXPECT_EQ(Reader.VideoStream()->EntryCount(), 0u);
        EXPECT_EQ(Reader.AudioStream()->EntryCount(), 0u);
        Reader.OnScanProgress = nullptr;
        Scan(b);
        EXPECT_EQ(Reader.ScanReport().Reason, "the index holds no video entries");
        EXPECT_EQ(Chunks(0), Expected(avi.Entries[0]));
    }
    {
        SCOPED_TRACE("idx1 describing only the first half");
        std::vector<uint8_t> b = avi.Bytes;
        PutU32(b.data() + avi.Idx1Pos + 4, 16 * 40);
        std::fill(b.begin() + long(avi.Idx1Pos) + 8 + 16 * 40, b.end(), 0);
        Scan(b);
        EXPECT_EQ(Reader.ScanReport().Reason, "the index stops short of the data");
        EXPECT_EQ(Chunks(1), Expected(avi.Entries[1]));
    }
    const size_t at = HeaderOf(avi, 0, 20);
    {
        SCOPED_TRACE("4 KiB inserted in the data");
        std::vector<uint8_t> b = avi.Bytes;
        b.insert(b.begin() + long(at), 4096, 0x5A);
        PutU32(b.data() + 4, GetU32(b.data() + 4) + 4096);
        PutU32(b.data() + avi.MoviPos - 8, GetU32(b.data() + avi.MoviPos - 8) + 4096);
        Scan(b);
        const TIndexScanReport& r = Reader.ScanReport();
        EXPECT_EQ(r.Reason, "the index does not match the data");
        EXPECT_EQ(Chunks(0), Expected(avi.Entries[0], INT64_MAX, int64_t(at), 4096));
        ASSERT_EQ(r.Skips.size(), 1u);
        EXPECT_EQ(r.Skips[0].Start, int64_t(at));
        EXPECT_EQ(r.Skips[0].Length, 4096);
    }
    {
        SCOPED_TRACE("garbage over whole chunks");
        std::vector<uint8_t> b = avi.Bytes;
        const size_t end = HeaderOf(avi, 0, 30);
        for (size_t i = at; i < end; ++i)
            b[i] = uint8_t(i * 13 + 5);
        Scan(b);
        const TIndexScanReport& r = Reader.ScanReport();
        EXPECT_TRUE(r.Rebuilt);
        std::vector<std::pair<int64_t, uint32_t>> want;
        for (const auto& c : Expected(avi.Entries[0]))
            if (c.first < int64_t(at) || c.first > int64_t(end))
                want.push_back(c);
        EXPECT_EQ(Chunks(0), want);
        EXPECT_EQ(r.SkippedBytes, end - at);
    }
}

TEST_F(ScanTest, RecListsAndLaterRiffListsAreWalked) {
    TAviLayout layout = SimpleLayout(30, 10, true, TIndexStyle::None);
    layout.RecLists = true;
    const TBuiltAvi rec = BuildAvi(layout);
    Scan(rec.Bytes);
    EXPECT_EQ(Chunks(0), Expected(rec.Entries[0]));
    EXPECT_EQ(Chunks(1), Expected(rec.Entries[1]));

    // A capture that never finished: no index, and the RIFF and 'movi' sizes still zero.
    std::vector<uint8_t> unfinished = rec.Bytes;
    PutU32(unfinished.data() + 4, 0);
    PutU32(unfinished.data() + rec.MoviPos - 8, 0);
    Scan(unfinished);
    EXPECT_EQ(Chunks(0), Expected(rec.Entries[0]));

    layout = SimpleLayout(30, 10, true, TIndexStyle::OpenDML);
    layout.AvixFromChunk = 20;
    layout.EntriesPerStdIndex = 10;
    const TBuiltAvi odml = BuildAvi(layout);
    Scan(odml.Bytes);
    EXPECT_FALSE(Reader.ScanReport().Rebuilt);
    EXPECT_EQ(EntriesOf(0), odml.Entries[0]);
    // A super index entry past the end of the file.
    std::vector<uint8_t> b = odml.Bytes;
    PutU64(b.data() + odml.IndxPos[0] + 32 + 16 * 2, b.size() + 4096);
    Scan(b);
    EXPECT_EQ(Reader.ScanReport().Reason, "the index stops short of the data");
    EXPECT_EQ(Chunks(0), Expected(odml.Entries[0]));
    // Cut inside the second RIFF list, which holds every standard index.
    const size_t cut = HeaderOf(odml, 0, 25) + 50;
    Scan({odml.Bytes.begin(), odml.Bytes.begin() + long(cut)});
    EXPECT_EQ(Reader.ScanReport().Reason, "no index");
    EXPECT_EQ(Chunks(0), Expected(odml.Entries[0], int64_t(cut)));
    EXPECT_EQ(Chunks(1), Expected(odml.Entries[1], int64_t(cut)));
    EXPECT_EQ(Reader.ScanReport().CutOffChunk, int64_t(HeaderOf(odml, 0, 25)));
}

} // namespace

namespace {

int64_t ProbeCount(const std::string& file, const std::string& stream,
                   const std::string& options = "") {
    const auto r =
        RunCapture("ffprobe -v error " + options + " -count_packets -select_streams " + stream +
                   " -show_entries stream=nb_read_packets -of csv=p=0 " + ShellQuote(file));
    return r.ExitCode == 0 && !r.Output.empty() ? std::stoll(r.Output) : -1;
}

// Buffers GStreamer's avidemux gives on video_0: the last kept file's number plus one.
int64_t GstVideoCount(const TTempDir& dir, const std::string& file) {
    const std::string out = dir.File("gst");
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const auto r = RunCapture("gst-launch-1.0 -q filesrc location=" + ShellQuote(file) +
                              " ! avidemux name=d d.video_0 ! queue ! multifilesink location=" +
                              ShellQuote(out + "/v%09d") + " max-files=1 2>&1");
    if (r.ExitCode != 0)
        return -1;
    for (const auto& e : std::filesystem::directory_iterator(out))
        return std::stoll(e.path().filename().string().substr(1)) + 1;
    return 0;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Damaged copies of a writer's file: cut off at several lengths, idx1 zeroed, idx1 stale.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Damaged(const std::vector<uint8_t>& avi) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    for (int percent : {4, 37, 98})
        out.emplace_back(
            "cut at " + std::to_string(percent) + " %",
            std::vector<uint8_t>(avi.begin(), avi.begin() + long(avi.size()) * percent / 100));
    const auto at = std::search(avi.begin(), avi.end(), "idx1", "idx1" + 4) - avi.begin();
    std::vector<uint8_t> zeroed = avi;
    std::fill(zeroed.begin() + at + 8, zeroed.end(), 0);
    out.emplace_back("idx1 zeroed", zeroed);
    std::vector<uint8_t> stale = avi;
    // Before a chunk: bytes inserted inside one would damage its picture for every reader.
    const auto chunk = std::search(avi.begin() + long(avi.size() / 2), avi.end(), "00d", "00d" + 3);
    stale.insert(stale.begin() + (chunk - avi.begin()), 4096, 0x77);
    out.emplace_back("4 KiB inserted", stale);
    return out;
}

TEST(ScanPeerTest, DamagedFilesFromOtherWritersRecoverAtLeastWhatFfmpegDoes) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("gst-launch-1.0");
    TTempDir dir;
    const std::string ff = dir.File("ff.avi"), gst = dir.File("gst.avi");
    ASSERT_EQ(RunCapture("ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i "
                         "sine=sample_rate=22050 -t 3 -c:v mpeg4 -g 12 -bf 1 -c:a pcm_s16le " +
                         ShellQuote(ff))
                  .ExitCode,
              0);
    ASSERT_EQ(RunCapture("gst-launch-1.0 -q videotestsrc num-buffers=60 ! "
                         "video/x-raw,width=160,height=120 ! jpegenc ! avimux ! filesink "
                         "location=" +
                         ShellQuote(gst))
                  .ExitCode,
              0);
    for (const std::string& source : {ff, gst}) {
        for (const auto& [what, bytes] : Damaged(ReadBytes(source))) {
            SCOPED_TRACE(source + ": " + what);
            const std::string damaged = dir.File("damaged.avi"), copy = dir.File("copy.avi");
            WriteFileBytes(damaged, bytes);
            RunCapture("ffmpeg -v quiet -y -i " + ShellQuote(damaged) + " -map 0 -c copy " +
                       ShellQuote(copy));
            const int64_t theirs = std::max<int64_t>(ProbeCount(copy, "v:0"), 0);
            TAVIFileReader reader;
            reader.IndexRebuild = TIndexRebuild::Always;
            try {
                reader.Open(damaged);
            } catch (const EAVIReadError&) {
                EXPECT_LE(theirs, 1); // cut inside the headers
                continue;
            }
            EXPECT_TRUE(reader.ScanReport().Rebuilt);
            const int64_t ours = reader.VideoStream()->EntryCount();
            EXPECT_GE(ours, theirs - 1);
            if (source == gst) { // Motion JPEG: every picture is a key frame
                EXPECT_EQ(reader.ScanReport().Streams[0].KeyFrames, uint32_t(ours));
            }
            if (ours < 2)
                continue;

            const std::string repaired = dir.File("repaired.avi"), cut = dir.File("cut.avi");
            const std::string cli = ShellQuote(CliPath()) + " ";
            ASSERT_EQ(RunCapture(cli + "repair " + ShellQuote(damaged) + " -o " +
                                 ShellQuote(repaired) + " --yes --quiet 2>/dev/null")
                          .ExitCode,
                      0);
            EXPECT_EQ(ProbeCount(repaired, "v:0"), ours);
            EXPECT_EQ(ProbeCount(repaired, "v:0", "-fflags +ignidx"), ours);
            EXPECT_EQ(ProbeCount(repaired, "a", "-fflags +ignidx"), ProbeCount(repaired, "a"));
            EXPECT_EQ(GstVideoCount(dir, repaired), ours);
            ASSERT_EQ(RunCapture(cli + "cut " + ShellQuote(damaged) +
                                 " --from-frame 1 --to-frame " + std::to_string(ours - 1) + " -o " +
                                 ShellQuote(cut) + " --yes --quiet 2>/dev/null")
                          .ExitCode,
                      0);
            EXPECT_EQ(
                RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(cut) + " -f null - 2>&1")
                    .Output,
                "");
        }
    }
}

} // namespace

namespace {

// Interleaved DV as dvgrab writes it, type 1: one 'iavs' stream of '00__' chunks, with an
// 'ix00' first in 'movi'. Cut off, or with bytes inserted before a chunk, it gives at least
// what ffmpeg gets, and its repaired copy decodes cleanly.
TEST(ScanPeerTest, DvType1FromDvgrabRecoversWhatFfmpegDoes) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ZARVEX_REQUIRE_TOOL("dvgrab");
    TTempDir dir;
    const std::string dv = dir.File("in.dv");
    ASSERT_EQ(RunCapture("ffmpeg -v error -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i "
                         "sine=sample_rate=48000 -t 2 -target pal-dv -ac 2 -f dv " +
                         ShellQuote(dv))
                  .ExitCode,
              0);
    // On a busy machine dvgrab drops frames, starts a second file, or now and then hangs: an
    // interrupt makes it close its file, one that does not end on it is killed and its file
    // left aside, and another try is made.
    std::string type1;
    for (int attempt = 0; attempt < 3 && type1.empty(); ++attempt) {
        const std::string prefix = "t" + std::to_string(attempt);
        const int exit =
            RunCapture("timeout -s INT -k 5 20 dvgrab -stdin -f dv1 -size 0 " +
                       ShellQuote(dir.File(prefix)) + " < " + ShellQuote(dv) + " >/dev/null 2>&1")
                .ExitCode;
        if (exit == 128 + 9 || exit == 128 + 15)
            continue;
        // Take what it wrote most of.
        for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
            if (e.path().filename().string().rfind(prefix, 0) == 0 &&
                e.path().extension() == ".avi" && e.file_size() > 0 &&
                (type1.empty() || e.file_size() > std::filesystem::file_size(type1)))
                type1 = e.path().string();
    }
    if (type1.empty())
        GTEST_SKIP() << "dvgrab wrote no file";
    const std::vector<uint8_t> avi = ReadBytes(type1);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
    damaged.emplace_back(
        "cut at 60 %", std::vector<uint8_t>(avi.begin(), avi.begin() + long(avi.size()) * 6 / 10));
    std::vector<uint8_t> inserted = avi;
    const auto chunk =
        std::search(avi.begin() + long(avi.size() / 2), avi.end(), "00__", "00__" + 4);
    inserted.insert(inserted.begin() + (chunk - avi.begin()), 4096, 0x77);
    damaged.emplace_back("4 KiB inserted", inserted);
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        const std::string file = dir.File("damaged.avi"), copy = dir.File("copy.avi"),
                          repaired = dir.File("repaired.avi");
        WriteFileBytes(file, bytes);
        RunCapture("ffmpeg -v quiet -y -i " + ShellQuote(file) + " -map 0 -c copy " +
                   ShellQuote(copy));
        const int64_t theirs = ProbeCount(copy, "v:0");
        EXPECT_GT(theirs, 0);
        TAVIFileReader reader;
        reader.IndexRebuild = TIndexRebuild::Always;
        reader.Open(file);
        ASSERT_NE(reader.VideoStream(), nullptr);
        EXPECT_GE(int64_t(reader.VideoStream()->EntryCount()), theirs);
        ASSERT_EQ(RunCapture(ShellQuote(CliPath()) + " repair " + ShellQuote(file) + " -o " +
                             ShellQuote(repaired) + " --yes --quiet 2>/dev/null")
                      .ExitCode,
                  0);
        EXPECT_EQ(ProbeCount(repaired, "v:0"), int64_t(reader.VideoStream()->EntryCount()));
        EXPECT_EQ(
            RunCapture("ffmpeg -v error -xerror -i " + ShellQuote(repaired) + " -f null - 2>&1")
                .Output,
            "");
    }
}

} // namespace
