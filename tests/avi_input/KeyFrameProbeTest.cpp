// Key frames told from the bitstream must agree, chunk for chunk, with the key flags that other
// writers put in their indexes, reading no more than the first few KiB of each chunk.
#include "avi_input/KeyFrameProbe.h"
#include "avi_input/AVIRead.h"
#include "fixtures/Tools.h"
#include "support/Endian.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace zarvex;
using namespace zarvex::fixtures;

namespace {

struct TKeyCheck {
    TKeyFrameRule Rule = TKeyFrameRule::Unknown;
    int Chunks = 0;
    int Keys = 0;
    std::vector<int> Mismatches; // entries where the bitstream and the index disagree
};

std::vector<uint8_t> Payload(const TAVIStream& video, int64_t entry) {
    std::vector<uint8_t> bytes(video.EntrySize(entry));
    if (!bytes.empty() && !video.ReadChunk(entry, bytes.data()))
        bytes.clear();
    return bytes;
}

// Classifies every video chunk of the file from its prefix and compares with the index.
// Without the format, the stream's framing is learnt from the chunks alone.
TKeyCheck CheckFile(const std::string& path, bool tellFormat = true) {
    TAVIFileReader reader;
    reader.Open(path);
    TKeyCheck check;
    const TAVIStream* video = reader.VideoStream();
    if (video == nullptr || video->Format.size() < 20)
        return check;
    check.Rule = KeyFrameRuleFor(GetU32(video->Format.data() + 16), video->Header.fccHandler);
    TKeyState state =
        tellFormat ? KeyStateFor(video->Format.data(), video->Format.size()) : TKeyState();
    for (uint32_t i = 0; i < video->EntryCount(); ++i) {
        const std::vector<uint8_t> bytes = Payload(*video, i);
        const bool key = IsKeyFramePayload(check.Rule, bytes.data(),
                                           std::min(bytes.size(), KeyFrameProbeBytes), state);
        ++check.Chunks;
        check.Keys += key;
        if (key != video->IsKeyFrame(i))
            check.Mismatches.push_back(int(i));
    }
    return check;
}

class KeyFrameProbeTest : public ::testing::Test {
protected:
    // A two-second clip with motion, so that encoders use every picture type they may.
    std::string Make(const std::string& name, const std::string& codecArgs) {
        const std::string path = Dir.File(name);
        const auto r = RunCapture("ffmpeg -v error -y -f lavfi -i testsrc2=size=128x96:rate=25 "
                                  "-t 2 " +
                                  codecArgs + " " + ShellQuote(path));
        EXPECT_EQ(r.ExitCode, 0) << codecArgs;
        return path;
    }
    // Every chunk agrees, and the file has both kinds so that agreement means something.
    void ExpectAgrees(const std::string& path, TKeyFrameRule rule, const std::string& what,
                      bool tellFormat = true) {
        const TKeyCheck c = CheckFile(path, tellFormat);
        EXPECT_EQ(c.Rule, rule) << what;
        EXPECT_GT(c.Keys, 1) << what;
        EXPECT_LT(c.Keys, c.Chunks) << what;
        EXPECT_TRUE(c.Mismatches.empty()) << what << ": " << c.Mismatches.size()
                                          << " chunks differ, first " << c.Mismatches.front();
    }
    TTempDir Dir;
};

TEST_F(KeyFrameProbeTest, Mpeg4Part2WithBFramesAndPackedBitstream) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ExpectAgrees(Make("p.avi", "-c:v mpeg4 -g 12"), TKeyFrameRule::Mpeg4, "mpeg4");
    ExpectAgrees(Make("b.avi", "-c:v mpeg4 -g 12 -bf 2 -vtag XVID"), TKeyFrameRule::Mpeg4,
                 "mpeg4 -bf 2");
    if (!HaveTool("mencoder"))
        return; // packed bitstreams come from MEncoder's Xvid only
    const std::string src = Make("src.avi", "-c:v mjpeg");
    const std::string packed = Dir.File("packed.avi");
    ASSERT_EQ(RunCapture("mencoder " + ShellQuote(src) +
                         " -really-quiet -nosound -ovc xvid -xvidencopts "
                         "bitrate=300:max_bframes=2:max_key_interval=12:packed -o " +
                         ShellQuote(packed) + " >/dev/null 2>&1")
                  .ExitCode,
              0);
    ExpectAgrees(packed, TKeyFrameRule::Mpeg4, "packed Xvid");
}

TEST_F(KeyFrameProbeTest, MsMpeg4WmvAndH263) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ExpectAgrees(Make("v2.avi", "-c:v msmpeg4v2 -g 12"), TKeyFrameRule::MsMpeg4, "v2");
    ExpectAgrees(Make("v3.avi", "-c:v msmpeg4 -g 12"), TKeyFrameRule::MsMpeg4, "v3");
    ExpectAgrees(Make("w1.avi", "-c:v wmv1 -g 12"), TKeyFrameRule::MsMpeg4, "wmv1");
    ExpectAgrees(Make("w2.avi", "-c:v wmv2 -g 12"), TKeyFrameRule::Wmv2, "wmv2");
    ExpectAgrees(Make("h263.avi", "-c:v h263 -g 12"), TKeyFrameRule::H263, "h263");
    ExpectAgrees(Make("h263p.avi", "-c:v h263p -g 12 -flags +aic"), TKeyFrameRule::H263, "h263+");
}

TEST_F(KeyFrameProbeTest, H264IdrAndRecoveryPoints) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ExpectAgrees(Make("closed.avi", "-c:v libx264 -g 25 -bf 3"), TKeyFrameRule::H264, "closed GOP");
    // Open GOPs: the I pictures after the first are not IDR but carry a recovery point.
    ExpectAgrees(Make("open.avi", "-c:v libx264 -bf 3 -x264-params open-gop=1:keyint=12"),
                 TKeyFrameRule::H264, "open GOP");
    // Remuxed from MP4: NAL units behind 4-byte lengths, many of them 256 to 511 bytes long, so
    // that the chunk opens with what looks like a start code.
    const std::string mp4 = Dir.File("src.mp4");
    ASSERT_EQ(RunCapture("ffmpeg -v error -y -f lavfi -i testsrc2=size=128x96:rate=25 -t 2 "
                         "-c:v libx264 -g 12 -bf 2 " +
                         ShellQuote(mp4))
                  .ExitCode,
              0);
    const std::string remux = Dir.File("remux.avi");
    ASSERT_EQ(
        RunCapture("ffmpeg -v error -y -i " + ShellQuote(mp4) + " -c copy " + ShellQuote(remux))
            .ExitCode,
        0);
    ExpectAgrees(remux, TKeyFrameRule::H264, "lengths");
    ExpectAgrees(remux, TKeyFrameRule::H264, "lengths, learnt", false);
    // Periodic intra refresh has no I pictures after the first: its recovery points, which the
    // encoder flags, need several frames to become whole, so they are not key frames here.
    const TKeyCheck refresh = CheckFile(Make("refresh.avi", "-c:v libx264 -x264-params "
                                                            "intra-refresh=1:keyint=12"));
    EXPECT_EQ(refresh.Keys, 1);
    EXPECT_GT(refresh.Mismatches.size(), 1u);
}

TEST_F(KeyFrameProbeTest, Mpeg12AndIntraOnly) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    ExpectAgrees(Make("m2.avi", "-c:v mpeg2video -g 12 -bf 2"), TKeyFrameRule::Mpeg12, "mpeg2");
    ExpectAgrees(Make("m1.avi", "-c:v mpeg1video -g 12"), TKeyFrameRule::Mpeg12, "mpeg1");
    const TKeyCheck mjpeg = CheckFile(Make("mj.avi", "-c:v mjpeg"));
    EXPECT_EQ(mjpeg.Rule, TKeyFrameRule::Intra);
    EXPECT_EQ(mjpeg.Keys, mjpeg.Chunks);
    EXPECT_TRUE(mjpeg.Mismatches.empty());
}

// Codecs whose frames say it in their first bits.
TEST_F(KeyFrameProbeTest, Ffv1Vp8AndVp9) {
    ZARVEX_REQUIRE_TOOL("ffmpeg");
    // FFV1 frames carry the coder's state over, so only its flagged frames are key frames.
    ExpectAgrees(Make("ffv1.avi", "-c:v ffv1 -level 1 -coder 1 -g 12"), TKeyFrameRule::Ffv1,
                 "ffv1");
    ExpectAgrees(Make("vp8.avi", "-c:v libvpx -g 12 -auto-alt-ref 1 -lag-in-frames 10"),
                 TKeyFrameRule::Vp8, "vp8");
    ExpectAgrees(Make("vp9.avi", "-c:v libvpx-vp9 -g 12 -deadline realtime"), TKeyFrameRule::Vp9,
                 "vp9");
}

TEST(KeyFrameRuleTest, CodesHandlersAndUnknownStreams) {
    const auto code = [](const char* t) { return GetU32(reinterpret_cast<const uint8_t*>(t)); };
    EXPECT_EQ(KeyFrameRuleFor(code("xvid"), 0), TKeyFrameRule::Mpeg4);
    EXPECT_EQ(KeyFrameRuleFor(code("MPG4"), 0), TKeyFrameRule::MsMpeg4); // v1, not Part 2
    EXPECT_EQ(KeyFrameRuleFor(code("cvid"), code("avc1")), TKeyFrameRule::H264);
    EXPECT_EQ(KeyFrameRuleFor(0, code("XVID")), TKeyFrameRule::Intra); // raw pictures
    EXPECT_EQ(KeyFrameRuleFor(code("cvid"), 0), TKeyFrameRule::Unknown);
    // Unknown codecs: the stream's first picture only; empty chunks are never key frames.
    TKeyState state;
    const uint8_t byte = 0x55;
    EXPECT_FALSE(IsKeyFramePayload(TKeyFrameRule::Unknown, &byte, 0, state));
    EXPECT_TRUE(IsKeyFramePayload(TKeyFrameRule::Unknown, &byte, 1, state));
    EXPECT_FALSE(IsKeyFramePayload(TKeyFrameRule::Unknown, &byte, 1, state));
    // MS-MPEG4 v1 puts a start code and a frame number before the picture type.
    const uint8_t v1Intra[] = {0, 0, 1, 0, 0x18, 0x3F};
    const uint8_t v1Inter[] = {0, 0, 1, 0, 0x1A, 0x3F};
    EXPECT_TRUE(IsKeyFramePayload(TKeyFrameRule::MsMpeg4, v1Intra, sizeof v1Intra, state));
    EXPECT_FALSE(IsKeyFramePayload(TKeyFrameRule::MsMpeg4, v1Inter, sizeof v1Inter, state));
}

// Random bytes, and every prefix of start-code-laden data, for every rule: reads stay in bounds
// (the sanitizer build checks that) and every call ends.
TEST(KeyFrameRuleTest, HostilePayloadsAndTruncatedPrefixes) {
    const TKeyFrameRule rules[] = {
        TKeyFrameRule::Intra, TKeyFrameRule::Mpeg4,  TKeyFrameRule::MsMpeg4,
        TKeyFrameRule::Wmv2,  TKeyFrameRule::H263,   TKeyFrameRule::Ffv1,
        TKeyFrameRule::H264,  TKeyFrameRule::Mpeg12, TKeyFrameRule::Unknown};
    std::mt19937 random(17);
    std::vector<uint8_t> bytes(600);
    for (int round = 0; round < 200; ++round) {
        for (uint8_t& b : bytes)
            b = uint8_t(random());
        // Start codes and escape patterns so the parsers go deep, not only past the scan.
        const uint8_t seeds[][5] = {
            {0, 0, 1, 0xB6, 0x3F}, {0, 0, 1, 0x20, 0xFF}, {0, 0, 1, 0x06, 0x06},
            {0, 0, 1, 0x65, 0x88}, {0, 0, 1, 0x01, 0x9A}, {0, 0, 3, 0x00, 0x00},
            {0, 0, 1, 0x00, 0x00}, {0, 0, 1, 0x06, 0xFF}, {0, 0, 0x80, 0x03, 0xFF}};
        for (int k = 0; k < 6; ++k)
            std::copy_n(seeds[random() % 9], 5,
                        bytes.begin() + (k == 0 ? 0 : random() % (bytes.size() - 5)));
        const size_t size = random() % bytes.size();
        for (TKeyFrameRule rule : rules) {
            // As a stream format too, where codec data follows 40 bytes of header.
            TKeyState state = KeyStateFor(bytes.data(), size);
            for (size_t prefix = 1; prefix <= size;
                 prefix += prefix < 16 || prefix + 64 > size ? 1 : 16) {
                std::vector<uint8_t> exact(bytes.begin(), bytes.begin() + prefix);
                IsKeyFramePayload(rule, exact.data(), exact.size(), state);
            }
        }
    }
    TKeyState state;
    EXPECT_FALSE(IsKeyFramePayload(TKeyFrameRule::H264, nullptr, 0, state));
}

} // namespace
