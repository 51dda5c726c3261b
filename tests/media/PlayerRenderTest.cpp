// Render results: what the player reports for files whose video or audio it cannot decode, for
// further streams it does not play, and for files that are not media.
#include "media/NullAudioSink.h"
#include "media/Player.h"

#include "fixtures/MediaFixture.h"
#include "fixtures/RiffScan.h"
#include "media/PlayerTestSinks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

extern "C" {
#include <libavutil/error.h>
}

using namespace zarvex;
using namespace zarvex::media;
using namespace zarvex::fixtures;

namespace {

void WriteBytes(const std::string& path, uint64_t pos, const std::vector<uint8_t>& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(pos));
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(f.good());
}

// A copy of the file with the stream of type `fccType` given another codec: a video stream's
// handler and compression become `code`, an audio stream's format tag becomes its low 16 bits.
std::string PatchCodec(const std::string& source, const std::string& copy,
                       const std::string& fccType, uint32_t code) {
    std::filesystem::copy_file(source, copy);
    const std::vector<uint8_t> le{uint8_t(code), uint8_t(code >> 8), uint8_t(code >> 16),
                                  uint8_t(code >> 24)};
    bool inStream = false;
    for (const TScannedChunk& c : ScanRiff(copy)) {
        if (c.Id == "strh") {
            const auto type = FileBytes(copy, c.Pos + 8, 4);
            inStream = std::string(type.begin(), type.end()) == fccType;
            if (inStream && fccType == "vids")
                WriteBytes(copy, c.Pos + 12, le);
        } else if (c.Id == "strf" && inStream) {
            if (fccType == "vids")
                WriteBytes(copy, c.Pos + 8 + 16, le);
            else
                WriteBytes(copy, c.Pos + 8, {le[0], le[1]});
            return copy;
        }
    }
    ADD_FAILURE() << "no " << fccType << " stream in " << source;
    return copy;
}

int32_t WaitForEvent(TMediaPlayer& player) {
    int32_t code = 0;
    intptr_t p1 = 0, p2 = 0;
    if (player.GetEvent(code, p1, p2, 30000) != ResultOk)
        return 0;
    player.FreeEventParams(code, p1, p2);
    return code;
}

class PlayerRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZARVEX_REQUIRE_TOOL("ffmpeg");
        Source = MakeMpeg4Avi(Dir, "av.avi", 1.0, 12);
        ASSERT_FALSE(Source.empty());
        Player.SetVideoSink(&Sink);
    }
    TTempDir Dir;
    std::string Source;
    TCollectingSink Sink;
    TMediaPlayer Player{TNullAudioSink::Factory()};
};

} // namespace

TEST_F(PlayerRenderTest, AFileWithKnownCodecsRendersFully) {
    EXPECT_EQ(Player.RenderFile(Source), ResultOk);
    EXPECT_TRUE(Player.IsOpen());
    EXPECT_TRUE(Player.HasVideoRenderer());
    EXPECT_TRUE(Player.HasAudioRenderer());
    EXPECT_DOUBLE_EQ(Player.FrameRate(), 25.0);
    TPlayerState state;
    ASSERT_EQ(Player.GetState(1000, state), ResultOk);
    EXPECT_EQ(state, TPlayerState::Stopped);
}

TEST_F(PlayerRenderTest, AnUnknownVideoCodecIsVideoNotRendered) {
    const std::string zzzz = PatchCodec(Source, Dir.File("zzzz.avi"), "vids", 0x5A5A5A5A);
    EXPECT_EQ(Player.RenderFile(zzzz), ResultVideoNotRendered);
    EXPECT_FALSE(Player.HasVideoRenderer());
    // The sound still plays to its end.
    EXPECT_TRUE(Player.HasAudioRenderer());
    Player.Run();
    EXPECT_EQ(WaitForEvent(Player), EventComplete);
    EXPECT_EQ(Sink.Count(), 0u);
}

TEST_F(PlayerRenderTest, AnUnknownAudioFormatPlaysSilently) {
    const std::string tag = PatchCodec(Source, Dir.File("tag.avi"), "auds", 0x9999);
    EXPECT_EQ(Player.RenderFile(tag), ResultAudioNotRendered);
    EXPECT_TRUE(Player.HasVideoRenderer());
    EXPECT_FALSE(Player.HasAudioRenderer());
    Player.Run();
    EXPECT_EQ(WaitForEvent(Player), EventComplete);
    EXPECT_GT(Sink.Count(), 0u);
}

TEST_F(PlayerRenderTest, AFurtherAudioStreamIsAPartialRender) {
    const std::string two = Dir.File("two.avi");
    ASSERT_TRUE(RunFfmpeg("-i " + ShellQuote(Source) + " -map 0:v -map 0:a -map 0:a -c copy " +
                          ShellQuote(two)));
    EXPECT_EQ(Player.RenderFile(two), ResultPartialRender);
    EXPECT_TRUE(Player.HasVideoRenderer());
}

TEST_F(PlayerRenderTest, FailuresKeepFfmpegsCode) {
    const std::string text = Dir.File("notes.avi");
    std::ofstream(text) << "These are notes, not a movie.\n";
    EXPECT_EQ(Player.RenderFile(text), AVERROR_INVALIDDATA);
    EXPECT_FALSE(Player.IsOpen());
    EXPECT_EQ(Player.RenderFile(Dir.File("missing.avi")), AVERROR(ENOENT));
    // A file whose only stream cannot be decoded renders nothing.
    const std::string silent = MakeMpeg4Avi(Dir, "v.avi", 0.5, 12, "320x240", 25, false);
    const std::string zzzz = PatchCodec(silent, Dir.File("vz.avi"), "vids", 0x5A5A5A5A);
    EXPECT_EQ(Player.RenderFile(zzzz), AVERROR_DECODER_NOT_FOUND);
    EXPECT_FALSE(Player.IsOpen());
    // Nothing open: the control calls say so instead of acting.
    TPlayerState state;
    EXPECT_EQ(Player.Run(), ResultWrongState);
    EXPECT_EQ(Player.SetPositions(0), ResultWrongState);
    EXPECT_EQ(Player.GetState(0, state), ResultWrongState);
    EXPECT_EQ(Player.GetCurrentPosition(), 0);
    // And the player is still good for the next file.
    EXPECT_EQ(Player.RenderFile(Source), ResultOk);
}
