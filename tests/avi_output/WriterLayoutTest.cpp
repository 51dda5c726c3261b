// Where the writer puts every list, chunk and index, and what its headers say.
#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/AviBuilder.h"
#include "fixtures/RiffScan.h"
#include "fixtures/Tools.h"
#include "support/Endian.h"

#include <filesystem>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class WriterLayoutTest : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string Path = Dir.File("out.avi");
    std::vector<uint8_t> VideoFmt = VideoFormat(320, 240, MakeFourCC('X', 'V', 'I', 'D'));
    std::vector<uint8_t> AudioFmt = AudioFormat(1, 2, 44100, 4, 16);

    void OpenAV(TAVIFileWriter& w) {
        w.Open(Path, AVIF_HASINDEX);
        w.AddStream(0, VideoHeader(25, 1, 0), VideoFmt.data(), int32_t(VideoFmt.size()));
        w.AddStream(1, AudioHeader(44100, 1, 4), AudioFmt.data(), int32_t(AudioFmt.size()));
    }
    void Put(TAVIFileWriter& w, int stream, uint32_t size, bool key = true) {
        std::vector<uint8_t> data = ChunkPayload(stream, Count++, size);
        w.WriteChunk(stream, data.data(), key, int32_t(size));
    }
    std::vector<TScannedChunk> Find(const std::vector<TScannedChunk>& all, const std::string& id) {
        std::vector<TScannedChunk> out;
        for (const auto& c : all)
            if (c.Id == id)
                out.push_back(c);
        return out;
    }
    AVIStreamHeader StreamHeaderAt(uint64_t payload) {
        auto b = FileBytes(Path, payload, 56);
        return AVIStreamHeader::Read(b.data());
    }
    uint32_t Count = 0;
};

} // namespace

TEST_F(WriterLayoutTest, SmallFileLayout) {
    TAVIFileWriter w;
    OpenAV(w);
    for (int i = 0; i < 5; ++i) {
        Put(w, 0, 3000 + i, i == 0);
        Put(w, 1, 1764);
    }
    w.Close();
    auto all = ScanRiff(Path);
    ASSERT_EQ(Find(all, "RIFF").size(), 1u);
    EXPECT_EQ(all[0].Pos + 8 + all[0].Size, FileBytes(Path, 0, 1 << 20).size())
        << "the RIFF size covers the whole file";

    auto movi = std::find_if(all.begin(), all.end(), [](auto& c) { return c.Type == "movi"; });
    ASSERT_NE(movi, all.end());
    const auto& firstData = *(movi + 1);
    EXPECT_EQ(firstData.Id, "00dc");
    EXPECT_EQ(firstData.Pos % 2048, 0u) << "the first data chunk starts a 2048 block";
    auto idx1 = Find(all, "idx1");
    ASSERT_EQ(idx1.size(), 1u);
    EXPECT_EQ(idx1[0].Pos % 2048, 0u);
    EXPECT_EQ(idx1[0].Size, 10u * 16);

    // The standard indexes close 'movi'; a filler then leads to 'idx1'.
    std::vector<std::string> tail;
    for (auto it = all.end() - 4; it != all.end(); ++it)
        tail.push_back(it->Id);
    EXPECT_EQ(tail, (std::vector<std::string>{"ix00", "ix01", "JUNK", "idx1"}));
    for (const auto& indx : Find(all, "indx")) {
        EXPECT_EQ(indx.Size, 32728u);
        EXPECT_EQ(FileU32(Path, indx.Pos + 12), 1u) << "one standard index each";
        EXPECT_EQ(FileBytes(Path, indx.Pos + 11, 1)[0], AVI_INDEX_OF_INDEXES);
    }
    const auto indx = Find(all, "indx");
    const auto ix = Find(all, "ix01");
    EXPECT_EQ(FileU64(Path, indx[1].Pos + 32), ix[0].Pos);
    EXPECT_EQ(FileU32(Path, indx[1].Pos + 40), 32u + 8 * 5) << "dwSize includes the header";
    EXPECT_EQ(FileU32(Path, indx[1].Pos + 44), 5u * 1764 / 4) << "dwDuration in samples";
    EXPECT_EQ(FileU32(Path, indx[0].Pos + 44), 5u) << "dwDuration in frames";
}

TEST_F(WriterLayoutTest, IndexEntriesCarrySizesFlagsAndOffsets) {
    TAVIFileWriter w;
    OpenAV(w);
    Put(w, 0, 1001, true);
    Put(w, 0, 4096, false);
    w.Close();
    auto all = ScanRiff(Path);
    auto chunks = Find(all, "00dc");
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[1].Pos, chunks[0].Pos + 8 + 1001 + 1) << "odd sizes take a pad byte";
    EXPECT_EQ(FileBytes(Path, chunks[0].Pos + 8 + 1001, 1)[0], 0);

    const uint64_t idx1 = Find(all, "idx1")[0].Pos + 8;
    EXPECT_EQ(FileU32(Path, idx1 + 4), AVIIF_KEYFRAME);
    EXPECT_EQ(FileU32(Path, idx1 + 8), chunks[0].Pos) << "absolute position of the header";
    EXPECT_EQ(FileU32(Path, idx1 + 12), 1001u);
    EXPECT_EQ(FileU32(Path, idx1 + 16 + 4), 0u);

    const uint64_t ix = Find(all, "ix00")[0].Pos;
    EXPECT_EQ(FileU64(Path, ix + 20), 0u) << "qwBaseOffset of the first RIFF list";
    EXPECT_EQ(FileU32(Path, ix + 32), chunks[0].Pos + 8) << "standard entries point at payloads";
    EXPECT_EQ(FileU32(Path, ix + 36), 1001u);
    EXPECT_EQ(FileU32(Path, ix + 44), 0x80001000u) << "bit 31: not a key frame";
}

TEST_F(WriterLayoutTest, StandardIndexFlushesEvery8000Chunks) {
    TAVIFileWriter w;
    OpenAV(w);
    for (int i = 0; i < 8001; ++i)
        Put(w, 0, 2, i % 100 == 0);
    Put(w, 1, 8);
    w.Close();
    auto scan = ScanRiff(Path);
    auto all = Find(scan, "00dc");
    auto ix = Find(scan, "ix00");
    ASSERT_EQ(ix.size(), 2u);
    EXPECT_EQ(ix[0].Size, 64024u);
    EXPECT_EQ(FileU32(Path, ix[0].Pos + 12), 8000u);
    EXPECT_EQ(ix[0].Pos, all[7999].Pos + 8 + 2) << "right after the 8000th chunk";
    EXPECT_EQ(FileU32(Path, ix[1].Pos + 12), 1u);
    const uint64_t indx = Find(scan, "indx")[0].Pos;
    EXPECT_EQ(FileU32(Path, indx + 12), 2u);
    TAVIFileReader r;
    r.Open(Path);
    EXPECT_EQ(r.Streams(0).EntryCount(), 8001u);
    EXPECT_TRUE(r.Streams(0).IsKeyFrame(8000));
    EXPECT_FALSE(r.Streams(0).IsKeyFrame(7999));
}

TEST_F(WriterLayoutTest, HeaderValues) {
    TAVIFileWriter w;
    w.Open(Path, AVIF_HASINDEX);
    AVIStreamHeader video = VideoHeader(30000, 1001, MakeFourCC('X', 'V', 'I', 'D'));
    video.rcRight = 1; // replaced by the format's picture size
    w.AddStream(0, video, VideoFmt.data(), int32_t(VideoFmt.size()));
    AVIStreamHeader audio = AudioHeader(44100, 1, 4);
    audio.dwLength = 12345; // the writer counts for itself
    w.AddStream(1, audio, AudioFmt.data(), int32_t(AudioFmt.size()));
    for (int i = 0; i < 1500; ++i)
        Put(w, 0, 100 + i % 50, i % 30 == 0);
    for (int i = 0; i < 250; ++i)
        Put(w, 1, 4000);
    w.Close();

    auto main = MainAVIHeader::Read(FileBytes(Path, 32, 56).data());
    EXPECT_EQ(main.dwMicroSecPerFrame, 33367u) << "1001 / 30000 s, rounded";
    EXPECT_EQ(main.dwFlags, AVIF_HASINDEX);
    EXPECT_EQ(main.dwTotalFrames, 1500u);
    EXPECT_EQ(main.dwStreams, 2u);
    EXPECT_EQ(main.dwSuggestedBufferSize, 4000u + 1024);
    EXPECT_EQ(main.dwWidth, 320u);
    EXPECT_EQ(main.dwHeight, 240u);

    auto scan = ScanRiff(Path);
    auto strh = Find(scan, "strh");
    AVIStreamHeader v = StreamHeaderAt(strh[0].Pos + 8);
    EXPECT_EQ(v.dwLength, 1500u);
    EXPECT_EQ(v.dwSuggestedBufferSize, 149u + 1024);
    EXPECT_EQ(v.rcRight, 320);
    EXPECT_EQ(v.rcBottom, 240);
    EXPECT_EQ(v.fccHandler, MakeFourCC('X', 'V', 'I', 'D'));
    AVIStreamHeader a = StreamHeaderAt(strh[1].Pos + 8);
    EXPECT_EQ(a.dwLength, 250000u) << "1 000 000 bytes of 4-byte samples";
    EXPECT_EQ(FileU32(Path, Find(scan, "dmlh")[0].Pos + 8), 1500u);
}

TEST_F(WriterLayoutTest, ChunkIdsCountDeclaredStreamsInDecimal) {
    TAVIFileWriter w;
    w.Open(Path, 0);
    for (int i = 0; i < 11; ++i)
        w.AddStream(20 + i, AudioHeader(8000, 1, 1), AudioFmt.data(), int32_t(AudioFmt.size()));
    w.AddStream(5, VideoHeader(25, 1, 0), VideoFmt.data(), int32_t(VideoFmt.size()));
    Put(w, 30, 4);
    Put(w, 5, 4);
    w.Close();
    auto scan = ScanRiff(Path);
    EXPECT_EQ(Find(scan, "10wb").size(), 1u) << "the eleventh declared stream";
    EXPECT_EQ(Find(scan, "11dc").size(), 1u);
    EXPECT_EQ(Find(scan, "ix10").size(), 1u);
    EXPECT_EQ(Find(scan, "0Awb").size(), 0u) << "decimal on the writing side";
}

TEST_F(WriterLayoutTest, RefusedCalls) {
    TAVIFileWriter w;
    w.Open(Path, 0);
    auto message = [&](auto call) {
        try {
            call();
        } catch (const EZarvexError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    const uint8_t* f = AudioFmt.data();
    const int32_t n = int32_t(AudioFmt.size());
    EXPECT_EQ(message([&] { w.AddStream(100, AudioHeader(8000, 1, 1), f, n); }),
              "Abnormal stream id (must be 0..99)");
    EXPECT_EQ(message([&] { w.AddStream(-1, AudioHeader(8000, 1, 1), f, n); }),
              "Abnormal stream id (must be 0..99)");
    w.AddStream(3, AudioHeader(8000, 1, 1), f, n);
    EXPECT_EQ(message([&] { w.AddStream(3, AudioHeader(8000, 1, 1), f, n); }),
              "Not unique stream id");
    EXPECT_EQ(message([&] { Put(w, 4, 10); }), "Not initialized stream id");
    EXPECT_NE(message([&] { w.WriteChunk(3, f, true, -1); }), "");
    Put(w, 3, 10);
    EXPECT_EQ(message([&] { w.AddStream(4, AudioHeader(8000, 1, 1), f, n); }),
              "Headers was already closed");
    EXPECT_EQ(message([&] { w.AddStream(3, AudioHeader(8000, 1, 1), f, n); }),
              "Not unique stream id")
        << "the checks come in their order";
    w.Close();
    w.Close();
    TAVIFileReader r;
    r.Open(Path);
    EXPECT_EQ(r.Streams(0).EntryCount(), 1u);

    TAVIFileWriter v;
    v.Open(Path, 0);
    EXPECT_EQ(message([&] { v.AddStream(0, VideoHeader(25, 1, 0), VideoFmt.data(), 39); }),
              "Invalid video format");
    v.Close();

    TAVIFileWriter bad;
    EXPECT_THROW(bad.Open(Dir.File("no/such/folder.avi"), 0), EOSError);
    EXPECT_FALSE(bad.IsOpen());
}

TEST_F(WriterLayoutTest, FileWithoutChunksIsWellFormed) {
    for (uint8_t kind : {1, 2, 3}) {
        TAVIFileWriter w;
        w.IndexKind = kind;
        OpenAV(w);
        w.Close();
        auto scan = ScanRiff(Path);
        EXPECT_EQ(Find(scan, "idx1").size(), kind != 2 ? 1u : 0u);
        EXPECT_EQ(Find(scan, "indx").size(), kind != 1 ? 2u : 0u);
        TAVIFileReader r;
        r.Open(Path);
        EXPECT_EQ(r.Streams(0).EntryCount(), 0u) << "index kind " << int(kind);
    }
}

TEST_F(WriterLayoutTest, AlignmentWithNoRoomForAFiller) {
    // Kind 1: the header list ends at 172 + format size; sweep it over the last 19 positions of
    // a 2048 block, where 1 to 7 bytes of room cannot hold a filler chunk.
    for (uint32_t end = 2028; end <= 2046; end += 2) {
        TAVIFileWriter w;
        w.IndexKind = 1;
        w.Open(Path, 0);
        std::vector<uint8_t> fmt = AudioFmt;
        fmt.resize(end - 172);
        w.AddStream(0, AudioHeader(8000, 1, 1), fmt.data(), int32_t(fmt.size()));
        Put(w, 0, 10);
        w.Close();
        auto scan = ScanRiff(Path);
        auto data = Find(scan, "00wb");
        ASSERT_EQ(data.size(), 1u);
        if (end <= 2036)
            EXPECT_EQ(data[0].Pos % 2048, 0u) << "header list ending at " << end;
        else
            EXPECT_EQ(data[0].Pos, end + 12u) << "no filler after " << end;
        EXPECT_EQ(Find(scan, "idx1")[0].Pos % 2048, 0u);
        TAVIFileReader r;
        r.Open(Path);
        EXPECT_EQ(r.Streams(0).EntryCount(), 1u);
    }
    // The same for 'idx1': the data ends 2 to 6 bytes before a block boundary.
    for (uint32_t size = 2000; size < 2016; size += 2) {
        TAVIFileWriter w;
        w.IndexKind = 1;
        w.Open(Path, 0);
        w.AddStream(0, AudioHeader(8000, 1, 1), AudioFmt.data(), int32_t(AudioFmt.size()));
        Put(w, 0, size);
        w.Close();
        auto idx1 = Find(ScanRiff(Path), "idx1");
        ASSERT_EQ(idx1.size(), 1u);
        EXPECT_EQ(idx1[0].Pos % 2048, 0u) << "chunk of " << size;
    }
}

TEST_F(WriterLayoutTest, ContinuationListAtOneGibibyte) {
    TAVIFileWriter w;
    OpenAV(w);
    const uint32_t big = 1 << 20;
    std::vector<uint8_t> block(big, 0x5A);
    const uint32_t frames = 1030; // a little over 1 GiB
    for (uint32_t i = 0; i < frames; ++i) {
        w.WriteChunk(0, block.data(), i % 10 == 0, int32_t(big));
        Put(w, 1, 1764);
    }
    w.Close();
    auto scan = ScanRiff(Path);
    auto riffs = Find(scan, "RIFF");
    ASSERT_EQ(riffs.size(), 2u);
    EXPECT_EQ(riffs[1].Type, "AVIX");
    EXPECT_LE(riffs[0].Size, (1u << 30) + 65536) << "the first list stays about 1 GiB";

    // The first chunk of the AVIX list is the one that would have crossed the limit.
    auto video = Find(scan, "00dc");
    ASSERT_EQ(video.size(), frames);
    size_t firstInX = 0;
    while (video[firstInX].Pos < riffs[1].Pos)
        ++firstInX;
    const auto idx1 = Find(scan, "idx1");
    ASSERT_EQ(idx1.size(), 1u);
    EXPECT_LT(idx1[0].Pos, riffs[1].Pos) << "'idx1' belongs to the first RIFF list";
    const uint64_t lastAudio = Find(scan, "01wb")[firstInX - 1].Pos;
    const uint64_t used = lastAudio + 8 + 1764 + idx1[0].Size; // data and 'idx1' before the cut
    EXPECT_GE(used + 8 + big + 33, 1ull << 30) << "the next video chunk would reach 1 GiB";
    EXPECT_LT(lastAudio + idx1[0].Size - 16 + 8 + 1764 + 33, 1ull << 30)
        << "the audio chunk before it still fitted";

    // Its standard indexes count from the AVIX header.
    auto ix = Find(scan, "ix00");
    ASSERT_GE(ix.size(), 2u);
    const auto& lastIx = ix.back();
    EXPECT_GT(lastIx.Pos, riffs[1].Pos);
    EXPECT_EQ(FileU64(Path, lastIx.Pos + 20), riffs[1].Pos);
    EXPECT_EQ(FileU32(Path, lastIx.Pos + 32), video[firstInX].Pos + 8 - riffs[1].Pos);
    EXPECT_EQ(FileU64(Path, ix[0].Pos + 20), 0u);

    auto main = MainAVIHeader::Read(FileBytes(Path, 32, 56).data());
    EXPECT_EQ(main.dwTotalFrames, firstInX) << "video of the first RIFF list only";
    EXPECT_EQ(FileU32(Path, Find(scan, "dmlh")[0].Pos + 8), frames) << "all video frames";
    EXPECT_EQ(idx1[0].Size, 2 * firstInX * 16) << "'idx1' holds the first list's chunks";

    TAVIFileReader r;
    r.Open(Path);
    ASSERT_EQ(r.Streams(0).EntryCount(), frames);
    TAVIIndexEntry e;
    r.Streams(0).GetEntry(firstInX, e);
    EXPECT_EQ(uint64_t(e.Offset), video[firstInX].Pos + 8);
    std::vector<uint8_t> got(big);
    EXPECT_TRUE(r.Streams(0).ReadChunk(frames - 1, got.data()));
    EXPECT_EQ(got, block);
}

TEST_F(WriterLayoutTest, ADroppedWriterCompletesItsFile) {
    ZARVEX_REQUIRE_TOOL("ffprobe");
    {
        TAVIFileWriter w;
        OpenAV(w);
        for (int i = 0; i < 30; ++i) {
            Put(w, 0, 300 + i);
            Put(w, 1, 1764);
        }
        // A failing call on the way out, as a job that stops on an error: no Close follows.
        EXPECT_THROW(Put(w, 7, 10), EZarvexError);
    }
    auto scan = ScanRiff(Path);
    ASSERT_FALSE(scan.empty());
    EXPECT_EQ(scan[0].Size, std::filesystem::file_size(Path) - 8) << "the RIFF size is set";
    ASSERT_EQ(Find(scan, "idx1").size(), 1u);
    for (const auto& c : scan) {
        if (c.Id == "LIST") {
            EXPECT_GT(c.Size, 4u) << c.Type;
        }
    }
    const auto probe = RunCapture("ffprobe -v error -count_packets -show_entries "
                                  "stream=nb_read_packets -of csv=p=0 " +
                                  ShellQuote(Path));
    EXPECT_EQ(probe.ExitCode, 0);
    EXPECT_EQ(probe.Output, "30\n30\n") << "every chunk written is read";
}
