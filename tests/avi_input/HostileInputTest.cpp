// Damaged and hostile files: each either opens with what can be read or is refused with a
// message, and never crashes, hangs or takes memory the file cannot justify.
#include "avi_input/FourCC.h"
#include "fixtures/ReaderFixture.h"
#include "support/Endian.h"

#include <algorithm>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

class HostileInputTest : public ReaderFixture {
protected:
    // Opens the bytes; any failure must be one of ours, with a message.
    void OpenSafely(const std::vector<uint8_t>& bytes) {
        try {
            Reader.Open(Save(bytes));
        } catch (const EZarvexError& e) {
            EXPECT_STRNE(e.what(), "");
            return;
        }
        for (int s = 0; s < Reader.StreamCount(); ++s)
            EXPECT_LE(Reader.Streams(s).EntryCount(), bytes.size() / 8);
    }
    TBuiltAvi Built = BuildAvi(SimpleLayout(20, 5, true, TIndexStyle::OpenDML));
    void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { PutU32(b.data() + at, v); }
    void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) { PutU64(b.data() + at, v); }
};

} // namespace

TEST_F(HostileInputTest, EveryTruncationOpensOrIsRefused) {
    for (TIndexStyle style : {TIndexStyle::Idx1Relative, TIndexStyle::OpenDML}) {
        TBuiltAvi built = BuildAvi(SimpleLayout(6, 3, true, style));
        for (size_t n = 0; n < built.Bytes.size(); n += 3) {
            std::vector<uint8_t> cut(built.Bytes.begin(), built.Bytes.begin() + n);
            SCOPED_TRACE("first " + std::to_string(n) + " bytes");
            OpenSafely(cut);
            for (int s = 0; s < Reader.StreamCount(); ++s) {
                std::vector<uint8_t> buf(4096);
                for (uint32_t i = 0; i < Reader.Streams(s).EntryCount(); ++i)
                    if (Reader.Streams(s).EntrySize(i) <= buf.size())
                        Reader.Streams(s).ReadChunk(i, buf.data());
            }
        }
    }
}

TEST_F(HostileInputTest, FormatSizeBeyondTheFileIsRefusedWithoutAllocating) {
    auto b = Built.Bytes;
    Put32(b, Built.StrfPos[0] - 4, 0xFFFFFFFFu);
    EXPECT_EQ(OpenError(b), "The stream format is damaged");
}

TEST_F(HostileInputTest, ZeroTimeBasesOpenUntimedAndShortFormatsAreRefused) {
    // Sound with a zero rate takes the times of the pictures it lies after; a picture stream
    // with a zero scale is no video stream.
    auto rate = Built.Bytes;
    Put32(rate, Built.StrhPos[1] + 24, 0);
    ASSERT_EQ(OpenError(rate), "");
    EXPECT_EQ(Reader.VideoStream(), &Reader.Streams(0));
    EXPECT_EQ(Reader.AudioStream(), nullptr);
    ASSERT_EQ(Reader.Streams(1).EntryCount(), 20u);
    for (uint32_t i = 0; i < 20; ++i)
        EXPECT_DOUBLE_EQ(Reader.Streams(1).EntryTime(i), Reader.Streams(0).EntryTime(i)) << i;
    auto scale = Built.Bytes;
    Put32(scale, Built.StrhPos[0] + 20, 0);
    ASSERT_EQ(OpenError(scale), "");
    EXPECT_EQ(Reader.VideoStream(), nullptr);
    EXPECT_EQ(Reader.AudioStream(), &Reader.Streams(1));

    TAviLayout layout = SimpleLayout(2, 1, true, TIndexStyle::Idx1Relative);
    layout.Streams[0].Format.resize(19);
    EXPECT_EQ(OpenError(BuildAvi(layout).Bytes), "The video format is too short");
    layout = SimpleLayout(2, 1, true, TIndexStyle::Idx1Relative);
    layout.Streams[1].Format.resize(13);
    EXPECT_EQ(OpenError(BuildAvi(layout).Bytes), "The audio format is too short");
}

TEST_F(HostileInputTest, WrongMainHeaderSizesOpenWhenStreamListsFollowIt) {
    const auto& b0 = Built.Bytes;
    const size_t at = size_t(std::search(b0.begin(), b0.end(), "avih", "avih" + 4) - b0.begin());
    for (uint32_t size : {0u, 20u, 55u, 57u, 200u, 0xFFFFFFF0u}) {
        SCOPED_TRACE(size);
        auto b = b0;
        Put32(b, at + 4, size);
        ASSERT_EQ(OpenError(b), "");
        EXPECT_EQ(Reader.StreamCount(), 2);
        EXPECT_EQ(Reader.MainHeader().dwStreams, 2u);
        EXPECT_EQ(EntriesOf(0), Built.Entries[0]);
        EXPECT_EQ(EntriesOf(1), Built.Entries[1]);
    }
    // Nothing to recover: a reason, never an opened file without streams.
    auto b = b0;
    Put32(b, at + 4, 0);
    for (size_t pos : {Built.StrhPos[0], Built.StrhPos[1]})
        Put32(b, pos - 12, MakeFourCC('s', 't', 'r', 'X'));
    EXPECT_EQ(OpenError(b), "The main header has a wrong size and no streams follow it");
}

TEST_F(HostileInputTest, HugeEntryCountsStopAtTheEndOfTheFile) {
    auto std = Built.Bytes;
    Put32(std, Built.StdIndexPos[0] + 12, 0x80000000u);
    OpenSafely(std);
    auto super = Built.Bytes;
    Put32(super, Built.IndxPos[0] + 12, 0xFFFFFFFFu);
    OpenSafely(super);
    auto idx1 = BuildAvi(SimpleLayout(20, 5, true, TIndexStyle::Idx1Relative)).Bytes;
    OpenSafely(idx1); // sanity: the unpatched file opens
    EXPECT_EQ(Reader.Streams(0).EntryCount(), 20u);
}

TEST_F(HostileInputTest, SuperIndexPointingAtASuperIndexIsRefused) {
    auto self = Built.Bytes;
    Put64(self, Built.IndxPos[0] + 32, Built.IndxPos[0]);
    EXPECT_EQ(OpenError(self), "Unsupported type of chunk index: 0");
    auto other = Built.Bytes;
    Put64(other, Built.IndxPos[0] + 32, Built.IndxPos[1]);
    EXPECT_EQ(OpenError(other), "Unsupported type of chunk index: 0");
}

TEST_F(HostileInputTest, RepeatedIndexesCannotMultiplyEntries) {
    // Thousands of super index entries all naming one standard index that claims to run to
    // the end of the file: without a bound, half a megabyte would claim a hundred million chunks.
    TAviLayout layout = SimpleLayout(4000, 50, false, TIndexStyle::OpenDML);
    layout.EntriesPerStdIndex = 1;
    TBuiltAvi built = BuildAvi(layout);
    auto b = built.Bytes;
    const size_t first = built.StdIndexPos[0];
    Put32(b, first + 12, 0x7FFFFFFFu);
    for (size_t k = 0; k < 4000; ++k)
        Put64(b, built.IndxPos[0] + 32 + 16 * k, first);
    EXPECT_EQ(OpenError(b), "The index describes more chunks than the file can hold");
    OpenBytes(built.Bytes);
    EXPECT_EQ(Reader.Streams(0).EntryCount(), 4000u) << "the unpatched file opens in full";
}

TEST_F(HostileInputTest, WrappingBaseOffsetsGiveUnreadableEntries) {
    auto b = Built.Bytes;
    Put64(b, Built.StdIndexPos[0] + 20, 0xFFFFFFFFFFFFFF00ull);
    OpenBytes(b);
    const TAVIStream& v = Reader.Streams(0);
    ASSERT_GT(v.EntryCount(), 0u);
    std::vector<uint8_t> buf(v.EntrySize(0));
    EXPECT_FALSE(v.ReadChunk(0, buf.data()));
}

TEST_F(HostileInputTest, ChunkSizesOfZeroOrBeyondTheParent) {
    // 'strh' claiming more than its list: the 56 bytes are still taken, the walk ends.
    auto big = BuildAvi(SimpleLayout(4, 2, false, TIndexStyle::Idx1Relative)).Bytes;
    auto built = BuildAvi(SimpleLayout(4, 2, false, TIndexStyle::Idx1Relative));
    Put32(big, built.StrhPos[0] - 4, 0x7FFFFFF0u);
    EXPECT_EQ(OpenError(big), "The stream format is not found");

    // Many empty chunks in the header list.
    TRiffWriter w;
    size_t riff = w.BeginList(ckRIFF, formAVI);
    size_t hdrl = w.BeginList(ckLIST, listHdrl);
    for (int i = 0; i < 50000; ++i)
        w.Chunk(ckJUNK, nullptr, 0);
    w.EndList(hdrl);
    w.EndList(w.BeginList(ckLIST, listMovi));
    w.EndList(riff);
    EXPECT_EQ(OpenError(w.Bytes), "The main header is not found");
}

TEST_F(HostileInputTest, EmptyFormatOfAnOtherStreamOpens) {
    TAviLayout layout = SimpleLayout(3, 1, false, TIndexStyle::Idx1Relative);
    AVIStreamHeader text = AudioHeader(1, 1, 0);
    text.fccType = MakeFourCC('t', 'x', 't', 's');
    layout.Streams.push_back({text, {}, true});
    layout.Chunks.push_back({1, 6, true});
    OpenBytes(BuildAvi(layout).Bytes);
    EXPECT_TRUE(Reader.Streams(1).Format.empty());
    EXPECT_EQ(Reader.Streams(1).EntryCount(), 1u);
}
