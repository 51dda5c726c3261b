#include "avi_input/FourCC.h"
#include "avi_output/AVIWrite.h"
#include "fixtures/ReaderFixture.h"
#include "support/Endian.h"

#include <sys/stat.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class ReaderTest : public ReaderFixture {};

// A RIFF 'AVI ' holding only the given top-level chunks, for the structural failures.
std::vector<uint8_t> Riff(uint32_t form, const std::function<void(TRiffWriter&)>& body) {
    TRiffWriter w;
    size_t riff = w.BeginList(ckRIFF, form);
    body(w);
    w.EndList(riff);
    return w.Bytes;
}

void Hdrl(TRiffWriter& w, bool withAvih, bool withStrh, bool withStrf) {
    size_t hdrl = w.BeginList(ckLIST, listHdrl);
    uint8_t raw[56] = {};
    if (withAvih)
        w.Chunk(ckAvih, raw, 56);
    size_t strl = w.BeginList(ckLIST, listStrl);
    VideoHeader(25, 1, 0).Write(raw);
    if (withStrh)
        w.Chunk(ckStrh, raw, 56);
    if (withStrf)
        w.Chunk(ckStrf, VideoFormat(16, 16, 0));
    w.EndList(strl);
    w.EndList(hdrl);
}

} // namespace

TEST_F(ReaderTest, RefusesFilesWithoutTheRequiredParts) {
    EXPECT_EQ(OpenError({}), "The file has unknown format");
    EXPECT_EQ(OpenError(Riff(MakeFourCC('W', 'A', 'V', 'E'), [](TRiffWriter&) {})),
              "The file has unknown format");
    EXPECT_EQ(OpenError(Riff(formAVI, [](TRiffWriter&) {})), "The header is not found");
    EXPECT_EQ(OpenError(Riff(formAVI, [](TRiffWriter& w) { Hdrl(w, true, true, true); })),
              "The data is not found");
    auto withMovi = [](bool avih, bool strh, bool strf) {
        return Riff(formAVI, [=](TRiffWriter& w) {
            Hdrl(w, avih, strh, strf);
            w.EndList(w.BeginList(ckLIST, listMovi));
        });
    };
    EXPECT_EQ(OpenError(withMovi(false, true, true)), "The main header is not found");
    EXPECT_EQ(OpenError(withMovi(true, false, true)), "The stream header is not found");
    EXPECT_EQ(OpenError(withMovi(true, true, false)), "The stream format is not found");
    EXPECT_EQ(OpenError(withMovi(true, true, true)), "The index is not found")
        << "all headers were read before the index was missed";
    EXPECT_EQ(Reader.StreamCount(), 1);
}

TEST_F(ReaderTest, MissingFileRaisesTheSystemError) {
    try {
        Reader.Open(Dir.File("nothing.avi"));
        FAIL() << "opened a missing file";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code, 2);
        EXPECT_EQ(e.what(), Dir.File("nothing.avi") + ": System Error.  Code: 2.\nNo such file or "
                                                      "directory");
    }
}

TEST_F(ReaderTest, ChunkFramingFollowsSizesAndPadBytes) {
    // Odd-sized and empty children before the ones looked for must be stepped over exactly.
    auto bytes = Riff(formAVI, [](TRiffWriter& w) {
        w.Chunk(ckJUNK, "abc", 3);
        w.EndList(w.BeginList(ckLIST, MakeFourCC('I', 'N', 'F', 'O')));
        w.Chunk(ckJUNK, "abcd", 4);
        Hdrl(w, true, true, true);
        size_t movi = w.BeginList(ckLIST, listMovi);
        size_t at = w.Chunk(MakeFourCC('0', '0', 'd', 'c'), "12345", 5);
        w.EndList(movi);
        uint32_t idx[4] = {MakeFourCC('0', '0', 'd', 'c'), AVIIF_KEYFRAME,
                           uint32_t(at - (movi + 8)), 5};
        w.Chunk(ckIdx1, idx, 16);
    });
    TAVIFileReader& r = OpenBytes(bytes);
    ASSERT_EQ(r.Streams(0).EntryCount(), 1u);
    char payload[5];
    ASSERT_TRUE(r.Streams(0).ReadChunk(0, payload));
    EXPECT_EQ(std::string(payload, 5), "12345");
}

TEST_F(ReaderTest, HugeChunkSizesMoveForwardNeverBack) {
    auto bytes = Riff(formAVI, [](TRiffWriter& w) {
        Hdrl(w, true, true, true);
        w.U32(ckJUNK);
        w.U32(0x80000000u);
        w.EndList(w.BeginList(ckLIST, listMovi));
    });
    EXPECT_EQ(OpenError(bytes), "The data is not found");
}

TEST_F(ReaderTest, ContinuationRiffListsAreNeverWalked) {
    // The second RIFF holds an 'idx1'; finding it would mean the walk left the first list.
    TAviLayout layout = SimpleLayout(4, 2, false, TIndexStyle::None);
    TBuiltAvi built = BuildAvi(layout);
    TRiffWriter w;
    w.Bytes = built.Bytes;
    size_t avix = w.BeginList(ckRIFF, formAVIX);
    uint32_t idx[4] = {MakeFourCC('0', '0', 'd', 'c'), AVIIF_KEYFRAME, 4, 100};
    w.Chunk(ckIdx1, idx, 16);
    w.EndList(avix);
    EXPECT_EQ(OpenError(w.Bytes), "The index is not found");
}

TEST_F(ReaderTest, Idx1OffsetsRelativeOrAbsolute) {
    for (TIndexStyle style : {TIndexStyle::Idx1Relative, TIndexStyle::Idx1Absolute}) {
        TBuiltAvi built = BuildAvi(SimpleLayout(30, 10, true, style));
        OpenBytes(built.Bytes);
        ASSERT_EQ(Reader.StreamCount(), 2);
        EXPECT_FALSE(Reader.HasOpenDMLIndex());
        EXPECT_EQ(EntriesOf(0), built.Entries[0]);
        EXPECT_EQ(EntriesOf(1), built.Entries[1]);
        EXPECT_EQ(Reader.Streams(0).EntryCount(), 30u);
    }
    // Relative: the first chunk right after 'movi' has offset 4 and its payload at MoviPos + 8.
    TBuiltAvi rel = BuildAvi(SimpleLayout(3, 1, false, TIndexStyle::Idx1Relative));
    EXPECT_EQ(rel.Bytes[rel.Idx1Pos + 16], 4);
    OpenBytes(rel.Bytes);
    EXPECT_EQ(EntriesOf(0).front().Offset, int64_t(rel.MoviPos + 8));
}

TEST_F(ReaderTest, Idx1ConventionIsJudgedOnAnEntryOfAStream) {
    // Capture tools put an entry for a 'rec ' list (whose header reads 'LIST') or a reserved
    // entry naming no stream ahead of the chunks' entries.
    for (TIndexStyle style : {TIndexStyle::Idx1Relative, TIndexStyle::Idx1Absolute}) {
        TAviLayout rec = SimpleLayout(6, 1, true, style);
        rec.RecLists = true;
        rec.RecIdx1Entries = true;
        TAviLayout reserved = SimpleLayout(6, 1, true, style);
        reserved.LeadingIdx1Ids = {MakeFourCC('7', 'F', 'x', 'x')};
        for (const TAviLayout* layout : {&rec, &reserved}) {
            TBuiltAvi built = BuildAvi(*layout);
            ASSERT_NE(built.Bytes[built.Idx1Pos + 8], '0') << "the first entry names no stream";
            OpenBytes(built.Bytes);
            EXPECT_EQ(EntriesOf(0), built.Entries[0]);
            EXPECT_EQ(EntriesOf(1), built.Entries[1]);
        }
    }
}

TEST_F(ReaderTest, WhatIsNotARegularFileIsRefusedAtOnce) {
    // A named pipe would block the open until a writer came; a folder or a device is no AVI.
    const std::string fifo = Dir.File("pipe.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "The path names a named pipe, not a file."},
        {Dir.Path().string(), "The path names a folder, not a file."},
        {"/dev/null", "The path names a device, not a file."},
    };
    for (const auto& [path, message] : cases) {
        try {
            Reader.Open(path);
            ADD_FAILURE() << path << " opened";
        } catch (const EOSError& e) {
            EXPECT_EQ(e.what(), path + ": " + message);
        }
    }
}

TEST_F(ReaderTest, Idx1EntriesOfUnknownStreamsAreSkipped) {
    TAviLayout layout = SimpleLayout(5, 1, true, TIndexStyle::Idx1Relative);
    layout.RecLists = true;
    layout.ExtraIdx1Ids = {MakeFourCC('0', '5', 'w', 'b'), MakeFourCC('r', 'e', 'c', ' '),
                           MakeFourCC('1', '0', 'w', 'b')};
    TBuiltAvi built = BuildAvi(layout);
    OpenBytes(built.Bytes);
    EXPECT_EQ(EntriesOf(0), built.Entries[0]);
    EXPECT_EQ(EntriesOf(1), built.Entries[1]);
}

TEST_F(ReaderTest, EmptyOrShortIdx1GivesStreamsWithoutEntries) {
    for (uint32_t size : {0u, 15u}) {
        auto bytes = Riff(formAVI, [=](TRiffWriter& w) {
            Hdrl(w, true, true, true);
            w.EndList(w.BeginList(ckLIST, listMovi));
            w.Chunk(ckIdx1, std::vector<uint8_t>(size, 0xAB));
        });
        OpenBytes(bytes);
        EXPECT_EQ(Reader.Streams(0).EntryCount(), 0u) << "idx1 of " << size << " bytes";
    }
}

TEST_F(ReaderTest, StreamNumbersInChunkIdsAreDecimal) {
    TAviLayout layout;
    for (int i = 0; i < 12; ++i)
        layout.Streams.push_back({AudioHeader(44100, 1, 4), AudioFormat(1, 2, 44100, 4, 16), true});
    layout.Chunks = {{10, 8, true}, {9, 4, true}, {11, 12, true}, {10, 12, true}};
    layout.ExtraIdx1Ids = {MakeFourCC('0', 'A', 'w', 'b')}; // no stream of a decimal writer
    TBuiltAvi built = BuildAvi(layout);
    EXPECT_EQ(built.Bytes[built.Entries[10][0].Offset - 8], '1') << "'10wb' in the file";
    OpenBytes(built.Bytes);
    ASSERT_EQ(Reader.StreamCount(), 12);
    EXPECT_EQ(Reader.Streams(10).StreamNumber, uint16_t('1' | '0' << 8));
    EXPECT_EQ(Reader.Streams(9).StreamNumber, uint16_t('0' | '9' << 8));
    for (int s : {9, 10, 11})
        EXPECT_EQ(EntriesOf(s), built.Entries[s]) << "stream " << s;
    EXPECT_THROW(Reader.Streams(12), EListError);
    try {
        Reader.Streams(-1);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }

    // Our own writer's file of twelve streams reads back stream by stream, through 'idx1' alone
    // and through the OpenDML indexes.
    for (uint8_t kind : {uint8_t(1), uint8_t(3)}) {
        TAVIFileWriter w;
        w.IndexKind = kind;
        const std::string path = Dir.File("twelve.avi");
        w.Open(path, AVIF_HASINDEX);
        const auto fmt = AudioFormat(1, 2, 44100, 4, 16);
        for (int i = 0; i < 12; ++i)
            w.AddStream(i, AudioHeader(44100, 1, 4), fmt.data(), int32_t(fmt.size()));
        for (int i = 0; i < 12; ++i) {
            const auto payload = ChunkPayload(i, 0, uint32_t(4 * (i + 1)));
            w.WriteChunk(i, payload.data(), true, int32_t(payload.size()));
        }
        w.Close();
        Reader.Open(path);
        ASSERT_EQ(Reader.StreamCount(), 12);
        for (int i = 0; i < 12; ++i) {
            ASSERT_EQ(Reader.Streams(i).EntryCount(), 1u) << "stream " << i;
            std::vector<uint8_t> p(Reader.Streams(i).EntrySize(0));
            EXPECT_TRUE(Reader.Streams(i).ReadChunk(0, p.data()));
            EXPECT_EQ(p, ChunkPayload(i, 0, uint32_t(4 * (i + 1)))) << "stream " << i;
        }
    }
}

TEST_F(ReaderTest, PicksTheFirstVideoAndAudioStreams) {
    TAviLayout layout;
    AVIStreamHeader iavs = VideoHeader(25, 1, 0);
    iavs.fccType = streamIavs;
    layout.Streams.push_back({AudioHeader(44100, 1, 4), AudioFormat(1, 2, 44100, 4, 16), true});
    layout.Streams.push_back({iavs, VideoFormat(8, 8, 0), true});
    layout.Streams.push_back({VideoHeader(25, 1, 0), VideoFormat(8, 8, 0), true});
    layout.Streams.push_back({AudioHeader(44100, 1, 4), AudioFormat(1, 2, 44100, 4, 16), true});
    layout.Chunks = {{1, 10, true}};
    OpenBytes(BuildAvi(layout).Bytes);
    EXPECT_EQ(Reader.VideoStream(), &Reader.Streams(1)) << "'iavs' counts as video";
    EXPECT_EQ(Reader.AudioStream(), &Reader.Streams(0));
    EXPECT_EQ(Reader.Streams(1).Width, 0) << "only 'vids' streams take the picture size";
}

TEST_F(ReaderTest, OpenDMLIndexesAreLoadedAndPreferred) {
    TAviLayout layout = SimpleLayout(25, 5, true, TIndexStyle::OpenDML);
    layout.EntriesPerStdIndex = 7; // several 'ix##' chunks per stream
    layout.AlsoIdx1 = true;
    layout.ExtraIdx1Ids = {MakeFourCC('0', '0', 'd', 'c')}; // an entry only 'idx1' has
    TBuiltAvi built = BuildAvi(layout);
    OpenBytes(built.Bytes);
    EXPECT_TRUE(Reader.HasOpenDMLIndex());
    EXPECT_EQ(EntriesOf(0), built.Entries[0]);
    EXPECT_EQ(EntriesOf(1), built.Entries[1]);
    EXPECT_GT(built.StdIndexPos.size(), 4u);
}

TEST_F(ReaderTest, IndxOfChunksIsAStandardIndex) {
    TBuiltAvi built = BuildAvi(SimpleLayout(12, 4, true, TIndexStyle::OpenDMLType1));
    OpenBytes(built.Bytes);
    EXPECT_EQ(EntriesOf(0), built.Entries[0]);
    EXPECT_EQ(EntriesOf(1), built.Entries[1]);
}

TEST_F(ReaderTest, StandardIndexSizeCarriesTheKeyFlagInBit31) {
    TAviLayout layout = SimpleLayout(0, 0, false, TIndexStyle::OpenDML);
    layout.Chunks = {{0, 4096, false}, {0, 16, true}};
    TBuiltAvi built = BuildAvi(layout);
    EXPECT_EQ(GetU32(built.Bytes.data() + built.StdIndexPos[0] + 32 + 4), 0x80001000u);
    OpenBytes(built.Bytes);
    EXPECT_EQ(Reader.Streams(0).EntrySize(0), 4096u);
    EXPECT_FALSE(Reader.Streams(0).IsKeyFrame(0));
    EXPECT_TRUE(Reader.Streams(0).IsKeyFrame(1));
}

TEST_F(ReaderTest, UnsupportedIndexTypesAreRefusedByNumber) {
    TBuiltAvi built = BuildAvi(SimpleLayout(6, 2, true, TIndexStyle::OpenDML));
    auto super = built.Bytes;
    super[built.IndxPos[0] + 11] = 2;
    EXPECT_EQ(OpenError(super), "Unsupported type of super index: 2");
    auto chunkIndex = built.Bytes;
    chunkIndex[built.StdIndexPos[0] + 11] = 0;
    EXPECT_EQ(OpenError(chunkIndex), "Unsupported type of chunk index: 0");
}

TEST_F(ReaderTest, StreamWithoutIndxInAnOpenDMLFileHasNoEntries) {
    TAviLayout layout = SimpleLayout(6, 2, true, TIndexStyle::OpenDML);
    layout.Streams[1].WithIndx = false;
    layout.AlsoIdx1 = true;
    TBuiltAvi built = BuildAvi(layout);
    OpenBytes(built.Bytes);
    EXPECT_EQ(EntriesOf(0), built.Entries[0]);
    EXPECT_EQ(Reader.Streams(1).EntryCount(), 0u);
}

TEST_F(ReaderTest, HeaderRepairs) {
    TAviLayout layout;
    AVIStreamHeader video = VideoHeader(25, 1, MakeFourCC('d', 'i', 'v', 'x'));
    video.rcRight = 320;
    video.rcBottom = 240;
    layout.Streams.push_back({video, VideoFormat(0, 0, MakeFourCC('X', 'V', 'I', 'D')), true});
    layout.Streams.push_back({AudioHeader(44100, 1, 0), AudioFormat(1, 2, 44100, 4, 16), true});
    layout.Streams.push_back(
        {AudioHeader(48000, 1152, 0), AudioFormat(0x55, 2, 48000, 1, 0), true});
    layout.Streams.push_back({VideoHeader(25, 1, 0), VideoFormat(64, -48, 0), true});
    layout.Chunks = {{0, 10, true}};
    OpenBytes(BuildAvi(layout).Bytes);
    const TAVIStream& v = Reader.Streams(0);
    EXPECT_EQ(FourCCToStr(v.Header.fccHandler), "XVID") << "the format's code wins";
    EXPECT_EQ(v.Width, 320);
    EXPECT_EQ(v.Height, 240);
    EXPECT_EQ(Reader.Streams(1).Header.dwSampleSize, 4u) << "sample rate: count whole blocks";
    EXPECT_EQ(Reader.Streams(2).Header.dwSampleSize, 0u) << "frame rate: one entry per frame";
    EXPECT_EQ(Reader.Streams(3).Height, -48) << "top-down pictures keep their sign";
    EXPECT_EQ(Reader.Streams(3).Header.fccHandler, 0u);
}

TEST_F(ReaderTest, QueriesAnswerOutOfRangeWithSentinels) {
    TBuiltAvi built = BuildAvi(SimpleLayout(60, 25, false, TIndexStyle::Idx1Relative));
    OpenBytes(built.Bytes);
    const TAVIStream& s = Reader.Streams(0);
    const int64_t n = s.EntryCount();
    for (int64_t i : {n, n + 1, int64_t(-1)}) {
        EXPECT_EQ(s.EntrySize(i), 0xFFFFFFFFu);
        EXPECT_EQ(s.EntryTime(i), -1.0);
        EXPECT_EQ(s.EntryBytesBefore(i), -1);
        EXPECT_FALSE(s.IsKeyFrame(i));
        TAVIIndexEntry e;
        e.Size = 77;
        EXPECT_FALSE(s.GetEntry(i, e));
        EXPECT_EQ(e.Size, 77u) << "the out record stays untouched";
        EXPECT_FALSE(s.ReadChunk(i, nullptr));
    }
    EXPECT_EQ(s.EntryTime(50), 2.0);
    EXPECT_EQ(s.PrevKeyFrame(0), -1);
    EXPECT_EQ(s.PrevKeyFrame(25), 0) << "never the entry itself";
    EXPECT_EQ(s.PrevKeyFrame(26), 25);
    EXPECT_EQ(s.PrevKeyFrame(n + 100), 50) << "from past the end: the last key frame";
    EXPECT_EQ(s.NextKeyFrame(0), 25);
    EXPECT_EQ(s.NextKeyFrame(50), -1);
    EXPECT_EQ(s.NextKeyFrame(n - 1), -1);
    EXPECT_EQ(s.NextKeyFrame(-5), 0);
}

TEST_F(ReaderTest, ChunksReadBackAndBytesBeforeAccumulate) {
    TBuiltAvi built = BuildAvi(SimpleLayout(10, 5, true, TIndexStyle::Idx1Relative));
    OpenBytes(built.Bytes);
    const TAVIStream& audio = *Reader.AudioStream();
    EXPECT_EQ(audio.EntryBytesBefore(0), 0);
    EXPECT_EQ(audio.EntryBytesBefore(3), 3 * 1764);
    EXPECT_DOUBLE_EQ(audio.EntryTime(3), 3 * 1764 / 4 / 44100.0);
    for (int s = 0; s < 2; ++s) {
        const TAVIStream& st = Reader.Streams(s);
        for (uint32_t i = 0; i < st.EntryCount(); ++i) {
            std::vector<uint8_t> got(st.EntrySize(i));
            ASSERT_TRUE(st.ReadChunk(i, got.data()));
            EXPECT_EQ(got, ChunkPayload(s, i, st.EntrySize(i))) << "stream " << s << " entry " << i;
        }
    }
}

TEST_F(ReaderTest, NextChunkMergesStreamsByStartTime) {
    TAviLayout layout;
    layout.Streams.push_back({VideoHeader(25, 1, 0), VideoFormat(8, 8, 0), true});
    layout.Streams.push_back({AudioHeader(44100, 1, 4), AudioFormat(1, 2, 44100, 4, 16), true});
    // Video at 0, 0.04, 0.08 s; audio at 0 and, after 88200 bytes, 0.5 s.
    layout.Chunks = {{1, 88200, true}, {1, 100, true}, {0, 5, true}, {0, 5, true}, {0, 5, true}};
    OpenBytes(BuildAvi(layout).Bytes);
    EXPECT_DOUBLE_EQ(Reader.Streams(1).EntryTime(1), 0.5);
    std::vector<std::pair<int, int>> order;
    Reader.ResetCursors();
    int s = 0, e = 99;
    for (Reader.NextChunk(s, e); s >= 0; Reader.NextChunk(s, e))
        order.push_back({s, e});
    std::vector<std::pair<int, int>> expected = {{0, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 1}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(e, 1) << "exhaustion leaves the entry as it was";
    Reader.ResetCursors();
    Reader.NextChunk(s, e);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(e, 0);
}

TEST_F(ReaderTest, CloseAndFileSizeAreRepeatable) {
    TAVIFileReader fresh;
    fresh.Close();
    fresh.Close();
    TBuiltAvi built = BuildAvi(SimpleLayout(5, 1, false, TIndexStyle::Idx1Relative));
    OpenBytes(built.Bytes);
    EXPECT_EQ(Reader.GetFileSize(), int64_t(built.Bytes.size()));
    EXPECT_EQ(Reader.GetFileSize(), int64_t(built.Bytes.size()));
    std::vector<uint8_t> got(Reader.Streams(0).EntrySize(2));
    EXPECT_TRUE(Reader.Streams(0).ReadChunk(2, got.data()));
    EXPECT_EQ(got, ChunkPayload(0, 2, uint32_t(got.size())));
    Reader.Close();
    Reader.Close();
    EXPECT_EQ(Reader.StreamCount(), 0);
    EXPECT_EQ(Reader.VideoStream(), nullptr);
    OpenBytes(built.Bytes); // the same object opens the next file
    EXPECT_EQ(Reader.Streams(0).EntryCount(), 5u);
}
