#include "splitting/AudioFrames.h"
#include "avi_input/AVIRead.h"
#include "fixtures/AviBuilder.h"
#include "splitting/AudioCuts.h"

#include <gtest/gtest.h>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

// An MPEG-1 Layer III frame at 128 kbit/s and 44.1 kHz: 417 bytes, 418 with padding.
std::vector<uint8_t> Mp3Frame(bool padding) {
    std::vector<uint8_t> f(padding ? 418 : 417, 0);
    f[0] = 0xFF;
    f[1] = 0xFB;
    f[2] = padding ? 0x92 : 0x90;
    f[3] = 0x64;
    return f;
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& what) {
    to.insert(to.end(), what.begin(), what.end());
}

} // namespace

TEST(AudioFramesTest, MpegFrameLengths) {
    auto len = [](std::initializer_list<uint8_t> h) {
        std::vector<uint8_t> b(h);
        return MpegAudioFrameLength(b.data(), b.size());
    };
    EXPECT_EQ(len({0xFF, 0xFB, 0x90, 0x00}), 417u);
    EXPECT_EQ(len({0xFF, 0xFB, 0x92, 0x00}), 418u) << "padding adds a byte";
    EXPECT_EQ(len({0xFF, 0xF3, 0x80, 0x00}), 208u) << "MPEG-2 Layer III, 64 kbit/s, 22.05 kHz";
    EXPECT_EQ(len({0xFF, 0xE3, 0x80, 0x00}), 417u) << "MPEG-2.5 Layer III, 64 kbit/s, 11.025 kHz";
    EXPECT_EQ(len({0xFF, 0xFD, 0xA4, 0x00}), 576u) << "Layer II, 192 kbit/s, 48 kHz";
    EXPECT_EQ(len({0xFF, 0xFF, 0x90, 0x00}), 4u * (12 * 288000 / 44100)) << "Layer I, 288 kbit/s";
    EXPECT_EQ(len({0xFF, 0xFB, 0x00, 0x00}), 0u) << "free format has no known length";
    EXPECT_EQ(len({0xFF, 0xFB, 0xF0, 0x00}), 0u) << "bit rate index 15";
    EXPECT_EQ(len({0xFF, 0xFB, 0x9C, 0x00}), 0u) << "reserved sample rate";
    EXPECT_EQ(len({0xFF, 0xEB, 0x90, 0x00}), 0u) << "reserved version";
    EXPECT_EQ(len({0xFF, 0xF9, 0x90, 0x00}), 0u) << "reserved layer";
    EXPECT_EQ(len({0xFF, 0x7B, 0x90, 0x00}), 0u) << "only 8 sync bits";
    EXPECT_EQ(len({0xFF, 0xFB, 0x90}), 0u) << "a header cut short";
}

TEST(AudioFramesTest, Ac3FrameLengths) {
    auto len = [](uint8_t code, uint8_t bsid, uint8_t b2 = 0, uint8_t b3 = 0) {
        std::vector<uint8_t> b = {0x0B, 0x77, b2, b3, code, uint8_t(bsid << 3)};
        return Ac3FrameLength(b.data(), b.size());
    };
    EXPECT_EQ(len(0x00 | 20, 8), 768u) << "192 kbit/s at 48 kHz";
    EXPECT_EQ(len(0x40 | 20, 8), 834u) << "192 kbit/s at 44.1 kHz";
    EXPECT_EQ(len(0x40 | 21, 8), 836u) << "the odd code adds a word at 44.1 kHz";
    EXPECT_EQ(len(0x40 | 0, 8), 138u);
    EXPECT_EQ(len(0x80 | 20, 8), 1152u) << "192 kbit/s at 32 kHz";
    EXPECT_EQ(len(0xC0 | 20, 8), 0u) << "reserved sample rate";
    EXPECT_EQ(len(38, 8), 0u) << "frame size code out of the table";
    EXPECT_EQ(len(0, 16, 0x02, 0xFF), 2u * (0x2FF + 1)) << "E-AC-3 gives its size in words";
    EXPECT_EQ(len(0, 20), 0u);
}

TEST(AudioFramesTest, BoundariesFollowConfirmedFrames) {
    std::vector<uint8_t> data(100, 0);
    data[10] = 0xFF; // a sync pattern in the tail of a frame, not confirmed 417 bytes later
    data[11] = 0xFB;
    data[12] = 0x90;
    Append(data, Mp3Frame(false));
    Append(data, Mp3Frame(true));
    std::vector<uint8_t> partial = Mp3Frame(false);
    partial.resize(200);
    Append(data, partial);
    EXPECT_EQ(FrameBoundaries(data.data(), uint32_t(data.size()), TAudioFraming::Mpeg),
              (std::vector<uint32_t>{100, 517, 935}))
        << "the frame running past the end has a start but no end";

    std::vector<uint8_t> whole = Mp3Frame(false);
    Append(whole, Mp3Frame(true));
    EXPECT_EQ(FrameBoundaries(whole.data(), uint32_t(whole.size()), TAudioFraming::Mpeg),
              (std::vector<uint32_t>{0, 417, 835}));
    std::vector<uint8_t> none(500, 0x11);
    EXPECT_TRUE(FrameBoundaries(none.data(), 500, TAudioFraming::Mpeg).empty());
}

TEST(AudioCutsTest, CompressedCutsMoveToFrameBoundaries) {
    std::vector<uint8_t> chunk = Mp3Frame(false); // frames at 0, 417, 835; ends at 1252
    Append(chunk, Mp3Frame(true));
    Append(chunk, Mp3Frame(false));
    const uint32_t size = uint32_t(chunk.size());
    TRangeTest cuts{true, 300, 300};
    AdjustCuts(TCutRule::MpegFrames, 1, chunk.data(), size, false, cuts);
    EXPECT_EQ(cuts.HeadCut, 417u);
    EXPECT_EQ(cuts.TailCut, size - 835) << "the kept bytes end where a frame ends";

    TRangeTest all{true, 1200, 0};
    AdjustCuts(TCutRule::MpegFrames, 1, chunk.data(), size, false, all);
    EXPECT_EQ(all.HeadCut, size) << "nearest to the end: nothing of the chunk is kept";

    std::vector<uint8_t> midFrame(60, 0);
    Append(midFrame, chunk);
    TRangeTest first{true, 0, 0};
    AdjustCuts(TCutRule::MpegFrames, 1, midFrame.data(), uint32_t(midFrame.size()), true, first);
    EXPECT_EQ(first.HeadCut, 60u) << "a stream's first chunk drops the tail of a cut frame";
    TRangeTest later{true, 0, 1250};
    AdjustCuts(TCutRule::MpegFrames, 1, midFrame.data(), uint32_t(midFrame.size()), false, later);
    EXPECT_EQ(later.HeadCut, 0u);
    EXPECT_EQ(later.TailCut, midFrame.size() - 60)
        << "the end keeps the rest of the frame the previous chunk began";

    std::vector<uint8_t> noise(900, 0x33);
    TRangeTest blind{true, 100, 100};
    AdjustCuts(TCutRule::MpegFrames, 1, noise.data(), 900, false, blind);
    EXPECT_EQ(blind.HeadCut + blind.TailCut, 0u) << "no frames found: never cut blindly";
}

TEST(AudioCutsTest, BlocksWholeAndSamples) {
    std::vector<uint8_t> data(8192, 0);
    TRangeTest blocks{true, 1500, 1536};
    AdjustCuts(TCutRule::Blocks, 1024, data.data(), 8192, false, blocks);
    EXPECT_EQ(blocks.HeadCut, 1024u);
    EXPECT_EQ(blocks.TailCut, 2048u) << "one and a half blocks round to the even two";
    TRangeTest whole{true, 100, 100};
    AdjustCuts(TCutRule::Whole, 1, data.data(), 8192, true, whole);
    EXPECT_EQ(whole.HeadCut + whole.TailCut, 0u);
    TRangeTest pcm{true, 1764, 4};
    AdjustCuts(TCutRule::Samples, 4, data.data(), 8192, true, pcm);
    EXPECT_EQ(pcm.HeadCut, 1764u);
    EXPECT_EQ(pcm.TailCut, 4u);
}

TEST(AudioCutsTest, RuleFollowsTheFormatTag) {
    TAVIFileReader reader;
    TAVIStream s(reader);
    auto rule = [&](uint16_t tag, uint16_t blockAlign) {
        s.Format = AudioFormat(tag, 2, 44100, blockAlign, 16);
        return CutRuleFor(s);
    };
    for (uint16_t tag : {1, 3, 6, 7})
        EXPECT_EQ(rule(tag, 4), TCutRule::Samples) << tag;
    EXPECT_EQ(rule(0x55, 1), TCutRule::MpegFrames);
    EXPECT_EQ(rule(0x50, 1), TCutRule::MpegFrames);
    EXPECT_EQ(rule(0x2000, 1), TCutRule::Ac3Frames);
    EXPECT_EQ(rule(0x161, 2230), TCutRule::Blocks) << "other codecs: whole blocks";
    EXPECT_EQ(rule(0x161, 1), TCutRule::Whole);

    std::vector<uint8_t> ext = AudioFormat(0xFFFE, 2, 48000, 8, 32);
    ext.resize(40, 0);
    const uint8_t pcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::copy(pcmGuid, pcmGuid + 16, ext.begin() + 24);
    s.Format = ext;
    EXPECT_EQ(CutRuleFor(s), TCutRule::Samples) << "extensible PCM";
    s.Format[24] = 0x92; // an extensible AC-3 sub-format is not PCM
    EXPECT_EQ(CutRuleFor(s), TCutRule::Blocks);
}
