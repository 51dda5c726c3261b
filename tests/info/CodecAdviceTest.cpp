// The codec advice text for the cases a user meets.
#include "info/CodecAdvice.h"
#include "avi_input/FourCC.h"

#include <gtest/gtest.h>

using namespace zarvex;

namespace {

const std::string Tail = "\r\nTo split the file into equal-sized parts, you can ignore this "
                         "message. Please use command File > Split into equal-sized parts.";

TDSOpenError Error(const char* code, uint16_t audio, uint32_t result, bool video = true,
                   bool suspectAudio = true) {
    TDSOpenError e;
    e.VideoCodec = code ? StrToFourCC(code) : 0;
    e.AudioFormat = audio;
    e.ErrorCode = result;
    e.SuspectVideo = video;
    e.SuspectAudio = suspectAudio;
    return e;
}

} // namespace

TEST(CodecAdvice, KnownUnknownAndEmptyCodes) {
    const TVideoCodecList list;
    EXPECT_EQ(CodecAdviceText(Error("div3", 0, 0x80040265), list),
              "Please make sure that DIVX Codec (div3) is installed on your PC.\r\n"
              "\r\nMedia error:80040265\r\n" +
                  Tail);
    EXPECT_EQ(CodecAdviceText(Error("H264", 1, 0xFFFFFFFF), list),
              "Please make sure that H264 video codec is installed on your PC.\r\n"
              "\r\nMedia error:FFFFFFFF\r\n" +
                  Tail);
    EXPECT_EQ(CodecAdviceText(Error(nullptr, 0, 0), list),
              "Please make sure that  video codec is installed on your PC.\r\n"
              "\r\nMedia error:00000000\r\n" +
                  Tail);
    // Unknown codes are upper-cased and trimmed.
    EXPECT_EQ(CodecAdviceText(Error("h26", 0, 1), list).substr(0, 40),
              "Please make sure that H26 video codec is");
    EXPECT_EQ(CodecAdviceText(Error("mp43", 0, 1), list).substr(0, 64),
              "Please make sure that Microsoft MPEG-4 Video Codec V3 (mp43) is ");
}

TEST(CodecAdvice, AudioAdviceAndTheResultCode) {
    const TVideoCodecList list;
    EXPECT_EQ(CodecAdviceText(Error("XVID", 0x55, 0x40242, false), list),
              "\r\nPlease make sure that MP3 audio decoder is installed on your PC.\r\n"
              "\r\nMedia error:00040242\r\n" +
                  Tail);
    EXPECT_EQ(CodecAdviceText(Error("XVID", 0x55, 0xDEADBEEF, false, false), list),
              "\r\nMedia error:DEADBEEF\r\n" + Tail);
    const std::string mp3 = CodecAdviceText(Error("XVID", 0x55, 0xABCDEF, true), list);
    EXPECT_NE(mp3.find("XviD Codec (XVID) is installed on your PC.\r\n\r\nPlease make sure "
                       "that MP3 audio decoder"),
              std::string::npos);
    EXPECT_NE(mp3.find("Media error:00ABCDEF\r\n"), std::string::npos);
}

TEST(CodecAdvice, ListLooksUpCaseInsensitively) {
    TVideoCodecList list;
    EXPECT_EQ(list.Count(), 8u);
    ASSERT_NE(list.GetCodec("dvSD", false), nullptr);
    EXPECT_EQ(list.GetCodec("DVSD", false)->CodecName, "DV Codec");
    EXPECT_TRUE(list.GetCodec("divx", false)->DownloadUrl.empty());
    EXPECT_EQ(list.GetCodec("wmv3", false), nullptr);
    TVideoCodecInfo* row = list.GetCodec("wmv3", true);
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->CodecName.empty());
    EXPECT_EQ(list.GetCodec("WMV3", false), row);
    list.SetDownloadUrl("div3", "https://example.org/divx");
    EXPECT_NE(CodecAdviceText(Error("DIV3", 0, 0), list)
                  .find("is installed on your PC.\r\nYou can download it here\r\n"
                        "https://example.org/divx\r\n\r\nMedia error:"),
              std::string::npos);
}
