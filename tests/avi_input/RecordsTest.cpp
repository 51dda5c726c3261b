#include "avi_input/AVIRecords.h"
#include "avi_input/FourCC.h"

#include <gtest/gtest.h>

using namespace zarvex;

TEST(FourCCTest, ConvertsBetweenCodesAndText) {
    EXPECT_EQ(MakeFourCC('R', 'I', 'F', 'F'), 0x46464952u);
    EXPECT_EQ(formAVI, 0x20495641u);
    EXPECT_EQ(FourCCToStr(0), "");
    const uint8_t vids[4] = {'v', 'i', 'd', 's'};
    EXPECT_EQ(FourCCToStr(uint32_t(vids[0] | vids[1] << 8 | vids[2] << 16 | vids[3] << 24)),
              "vids");
    EXPECT_EQ(FourCCToStr(MakeFourCC('a', '\0', 'b', 'c')), std::string("a\0bc", 4))
        << "a zero byte inside stays a character";
    EXPECT_EQ(StrToFourCC(""), MakeFourCC(' ', ' ', ' ', ' '));
    EXPECT_EQ(StrToFourCC("dc"), MakeFourCC('d', 'c', ' ', ' '));
    EXPECT_EQ(StrToFourCC("00dcXY"), MakeFourCC('0', '0', 'd', 'c'));
    EXPECT_NE(StrToFourCC("avi"), formAVI) << "the blank is significant, and so is case";
    EXPECT_EQ(StrToFourCC("AVI"), formAVI);
}

TEST(RecordsTest, StreamHeaderFieldsSitAtTheirOffsets) {
    uint8_t raw[56];
    for (int i = 0; i < 56; ++i)
        raw[i] = uint8_t(i);
    raw[48] = 0xFE; // rcFrame.left = -2
    raw[49] = 0xFF;
    AVIStreamHeader h = AVIStreamHeader::Read(raw);
    EXPECT_EQ(h.fccType, 0x03020100u);
    EXPECT_EQ(h.fccHandler, 0x07060504u);
    EXPECT_EQ(h.wPriority, 0x0D0Cu);
    EXPECT_EQ(h.wLanguage, 0x0F0Eu);
    EXPECT_EQ(h.dwInitialFrames, 0x13121110u);
    EXPECT_EQ(h.dwScale, 0x17161514u);
    EXPECT_EQ(h.dwRate, 0x1B1A1918u);
    EXPECT_EQ(h.dwStart, 0x1F1E1D1Cu);
    EXPECT_EQ(h.dwLength, 0x23222120u);
    EXPECT_EQ(h.dwSampleSize, 0x2F2E2D2Cu);
    EXPECT_EQ(h.rcLeft, -2);
    EXPECT_EQ(h.rcBottom, 0x3736);
    uint8_t back[56];
    h.Write(back);
    EXPECT_TRUE(std::equal(raw, raw + 56, back));
}

TEST(RecordsTest, MainHeaderFieldsSitAtTheirOffsets) {
    uint8_t raw[56] = {};
    raw[12] = 0x10; // dwFlags
    raw[16] = 0x2A; // dwTotalFrames
    raw[24] = 2;    // dwStreams
    raw[32] = 0x40; // dwWidth
    raw[39] = 0x01; // dwHeight high byte
    MainAVIHeader h = MainAVIHeader::Read(raw);
    EXPECT_EQ(h.dwFlags, AVIF_HASINDEX);
    EXPECT_EQ(h.dwTotalFrames, 42u);
    EXPECT_EQ(h.dwStreams, 2u);
    EXPECT_EQ(h.dwWidth, 64u);
    EXPECT_EQ(h.dwHeight, 0x01000000u);
    uint8_t back[56];
    h.Write(back);
    EXPECT_TRUE(std::equal(raw, raw + 56, back));
}
