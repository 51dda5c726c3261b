// Typed positions: the forms a time or a frame number may take, and times shown to the
// millisecond that name their own frame again when typed back.
#include "support/PositionText.h"
#include "support/FrameClock.h"

#include <gtest/gtest.h>

using namespace zarvex;

namespace {

double Seconds(const char* text) {
    const auto position = ParsePosition(text);
    EXPECT_TRUE(position && !position->IsFrame) << text;
    return position ? position->Seconds : -1;
}

} // namespace

TEST(PositionText, TimesAndFrameNumbersInEveryForm) {
    EXPECT_DOUBLE_EQ(Seconds("83.5"), 83.5);
    EXPECT_DOUBLE_EQ(Seconds(" 1:23.5 "), 83.5);
    EXPECT_DOUBLE_EQ(Seconds("0:01:23,500"), 83.5);
    EXPECT_DOUBLE_EQ(Seconds("75:00"), 4500); // minutes alone may pass 59
    EXPECT_DOUBLE_EQ(Seconds("2:05:00.001"), 7500.001);
    EXPECT_DOUBLE_EQ(Seconds(".5"), 0.5);
    const auto frame = ParsePosition("#2087");
    ASSERT_TRUE(frame && frame->IsFrame);
    EXPECT_EQ(frame->Frame, 2087);
    EXPECT_EQ(ParseFrameNumber("2087"), 2087);
    EXPECT_EQ(ParseFrameNumber("# 12"), 12);
    EXPECT_EQ(ParseFrameNumber("99999999999999999999999"), INT64_MAX);
    for (const char* bad : {"", " ", "abc", "1:60", "1:2:3:4", "-1", "1.2.3", "1:", ":5", ".", "#",
                            "#12a", "1e3", "12 s"})
        EXPECT_FALSE(ParsePosition(bad)) << bad;
    for (const char* bad : {"12.5", "-3", "", "#"})
        EXPECT_FALSE(ParseFrameNumber(bad)) << bad;
}

TEST(PositionText, AShownTimeTypedBackNamesItsFrame) {
    EXPECT_EQ(FormatExactTime(0), "0:00:00.000");
    EXPECT_EQ(FormatExactTime(36000000000 + 12345678), "1:00:01.235");
    const std::pair<int64_t, int64_t> rates[] = {{30000, 1001}, {24000, 1001}, {60000, 1001},
                                                 {25, 1},       {50, 1},       {15, 1}};
    for (const auto& [rate, scale] : rates) {
        const TFrameClock clock(rate, scale);
        for (int64_t frame = 0; frame < 250000; ++frame) {
            const std::string shown = FormatExactTime(clock.FrameStart(frame));
            const auto typed = ParsePosition(shown);
            ASSERT_TRUE(typed) << shown;
            ASSERT_EQ(clock.TypedFrame(typed->Seconds), frame)
                << rate << "/" << scale << " " << shown;
        }
    }
}
