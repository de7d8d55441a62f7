#include "CDispUtil.h"
#include "DisplayTables.h"
#include <gtest/gtest.h>
#include <functional>
#include <vector>

namespace
{
struct FormatCase
{
    const char* what;
    std::function<juce::String()> call;
    const char* expected;
};

void checkCases(const std::vector<FormatCase>& cases)
{
    for (const auto& c : cases)
        EXPECT_EQ(c.call().toStdString(), c.expected) << c.what;
}

#define CASE(expr, text) FormatCase{#expr, [] { return CDispUtil::expr; }, text}
} // namespace

TEST(DispUtil, ModelTablesEndWithTheNoneRowAndRefuseValuesPastIt)
{
    checkCases({
        CASE(getDispAmpType(44), " --- "),   CASE(getDispAmpType(45), "???"),
        CASE(getDispAmpType(255), "???"),    CASE(getDispAmpType(-1), "???"),
        CASE(getDispCabType(11), " --- "),   CASE(getDispCabType(12), "???"),
        CASE(getDispCabType(255), "???"),    CASE(getDispCabType(-1), "???"),
        CASE(getDispPdl1Type(4), " --- "),   CASE(getDispPdl1Type(5), "???"),
        CASE(getDispPdl1Type(255), "???"),   CASE(getDispPdl1Type(-1), "???"),
        CASE(getDispPdl2Type(11), " --- "),  CASE(getDispPdl2Type(12), "???"),
        CASE(getDispPdl2Type(255), "???"),   CASE(getDispPdl2Type(-1), "???"),
        CASE(getDispModType(11), " --- "),   CASE(getDispModType(12), "???"),
        CASE(getDispModType(255), "???"),    CASE(getDispModType(-1), "???"),
        CASE(getDispDlyType(4), " --- "),    CASE(getDispDlyType(5), "???"),
        CASE(getDispDlyType(255), "???"),    CASE(getDispDlyType(-1), "???"),
        CASE(getDispRevType(3), " --- "),    CASE(getDispRevType(4), "???"),
        CASE(getDispRevType(255), "???"),    CASE(getDispRevType(-1), "???"),
    });
}

TEST(DispUtil, ModelFunctionsGiveEveryRowOfTheLiteralTables)
{
    struct Table
    {
        const char* name;
        const char* const* rows;
        int count;
        juce::String (*get)(int);
    };
    const Table tables[] = {
        {"amp", kAmpTypes, 45, &CDispUtil::getDispAmpType},
        {"cabinet", kCabTypes, 12, &CDispUtil::getDispCabType},
        {"pedal 1", kPdl1Types, 5, &CDispUtil::getDispPdl1Type},
        {"pedal 2", kPdl2Types, 12, &CDispUtil::getDispPdl2Type},
        {"modulation", kModTypes, 12, &CDispUtil::getDispModType},
        {"delay", kDlyTypes, 5, &CDispUtil::getDispDlyType},
        {"reverb", kRevTypes, 4, &CDispUtil::getDispRevType},
    };
    for (const auto& t : tables)
        for (int i = 0; i < t.count; ++i)
            EXPECT_EQ(t.get(i).toStdString(), t.rows[i]) << t.name << " " << i;
}

TEST(DispUtil, AmpTableRepeatsItsElevenNamesUnderThreePrefixesThenElevenPedals)
{
    for (int i = 0; i < 11; ++i)
    {
        const juce::String std = CDispUtil::getDispAmpType(i);
        ASSERT_TRUE(std.startsWith("[STD] ")) << i;
        const juce::String name = std.substring(6);
        EXPECT_TRUE(name.isNotEmpty() && !name.startsWith(" ")) << i;
        EXPECT_EQ(CDispUtil::getDispAmpType(11 + i), "[SPL] " + name) << i;
        EXPECT_EQ(CDispUtil::getDispAmpType(22 + i), "[CST] " + name) << i;
        EXPECT_TRUE(CDispUtil::getDispAmpType(33 + i).startsWith("[PDL] ")) << i;
        EXPECT_GT(CDispUtil::getDispAmpType(33 + i).length(), 6) << i;
    }
}

TEST(DispUtil, NumberFormatters)
{
    checkCases({
        CASE(getDispValue(0), "0.0"),        CASE(getDispValue(5), "0.5"),
        CASE(getDispValue(9), "0.9"),        CASE(getDispValue(10), "1.0"),
        CASE(getDispValue(123), "12.3"),     CASE(getDispValue(255), "25.5"),
        CASE(getDispNRValue(0), "0.0"),      CASE(getDispNRValue(1), "0.2"),
        CASE(getDispNRValue(4), "0.8"),      CASE(getDispNRValue(5), "1.0"),
        CASE(getDispNRValue(7), "1.4"),      CASE(getDispNRValue(50), "10.0"),
        CASE(getDispNRValue(255), "51.0"),
        CASE(getDispDlyTime(0), "0[ms]"),    CASE(getDispDlyTime(1000), "1000[ms]"),
        CASE(getDispDlyTime(65535), "65535[ms]"),
    });
}

TEST(DispUtil, SpeedHasTwoFixedTextsAndComputesTheRestFromTheTruncatedQuotient)
{
    checkCases({
        CASE(getDispSpeed(-1), " --- "),        CASE(getDispSpeed(0), " --- "),
        CASE(getDispSpeed(32), " --- "),        CASE(getDispSpeed(33), "30[Hz]"),
        CASE(getDispSpeed(34), "29.41[Hz]"),    CASE(getDispSpeed(65), "15.38[Hz]"),
        CASE(getDispSpeed(66), "15[Hz]"),       CASE(getDispSpeed(67), "14.93[Hz]"),
        CASE(getDispSpeed(69), "14.49[Hz]"),    CASE(getDispSpeed(100), "10.00[Hz]"),
        CASE(getDispSpeed(2000), "0.50[Hz]"),   CASE(getDispSpeed(3000), "0.33[Hz]"),
        // 1000000 / 65535 is 15, shown as 0.01 (0.015 is just below the half).
        CASE(getDispSpeed(65535), "0.01[Hz]"),
    });
}

TEST(DispUtil, SwitchLikeWords)
{
    checkCases({
        CASE(getDispPitchShift(0), "-12"),  CASE(getDispPitchShift(11), "-1"),
        CASE(getDispPitchShift(12), "0"),   CASE(getDispPitchShift(13), "DT"),
        CASE(getDispPitchShift(14), "+1"),  CASE(getDispPitchShift(25), "+12"),
        CASE(getDispPitchShift(-1), "-13"),
        CASE(getDispFiltron(0), "UP"),      CASE(getDispFiltron(-1), "UP"),
        CASE(getDispFiltron(1), "DOWN"),    CASE(getDispFiltron(255), "DOWN"),
        CASE(getDispTalkMod(0), "TYPE1"),   CASE(getDispTalkMod(-1), "TYPE1"),
        CASE(getDispTalkMod(1), "TYPE2"),   CASE(getDispTalkMod(255), "TYPE2"),
    });
}

TEST(DispUtil, ExpressionTargetTextForEveryTargetAndType)
{
    // Every target 0 to 26 with types 0 to 12; 11 and 12 are beyond every
    // effect table.
    for (int t = 0; t <= 26; ++t)
        for (int v = 0; v <= 12; ++v)
            EXPECT_EQ(CDispUtil::getDispExpTarget(t, v).toStdString(), expTargetText(t, v)) << t << ", " << v;

    checkCases({
        CASE(getDispExpTarget(1, 255), "VOLUME"),   CASE(getDispExpTarget(1, -1), "VOLUME"),
        CASE(getDispExpTarget(12, 255), "A/P GAIN"), CASE(getDispExpTarget(24, -1), "REV INPUT"),
        CASE(getDispExpTarget(255, 0), " --- "),    CASE(getDispExpTarget(-1, 0), " --- "),
        CASE(getDispExpTarget(-4, 0), " --- "),     CASE(getDispExpTarget(4, -1), " --- "),
        CASE(getDispExpTarget(8, -1), " --- "),     CASE(getDispExpTarget(16, -1), " --- "),
        CASE(getDispExpTarget(17, -1), " --- "),    CASE(getDispExpTarget(18, -1), " --- "),
        CASE(getDispExpTarget(18, 255), " --- "),
    });
}
