#include "CProgParamColumn.h"
#include <gtest/gtest.h>
#include <map>

namespace
{
struct PackCase
{
    const char* name;
    std::map<int, int> values;                    // value index -> value; others 0
    std::map<int, unsigned char> expectedBytes;   // byte index -> byte; others 0
};

const PackCase kPackCases[] = {
    {"blank", {}, {}},
    {"value0_255", {{0, 255}}, {{0, 0x01}, {1, 0x7F}}},
    {"value6_128", {{6, 128}}, {{0, 0x40}, {7, 0x00}}},
    {"value7_200", {{7, 200}}, {{8, 0x01}, {9, 0x48}}},
    {"value31_200", {{31, 200}}, {{32, 0x08}, {36, 0x48}}},
    {"value27_255_value28_128", {{27, 255}, {28, 128}}, {{24, 0x40}, {31, 0x7F}, {32, 0x01}}},
};
} // namespace

TEST(PackedData, EncodesEachCaseToItsBytesAndDecodesBack)
{
    for (const auto& c : kPackCases)
    {
        SCOPED_TRACE(c.name);
        int values[kProgParamCount] = {};
        for (auto [i, v] : c.values)
            values[i] = v;
        unsigned char packed[kPackedProgDataSize];
        std::memset(packed, 0xEE, sizeof(packed));
        CProgParamColumn::encodePackedData(values, packed);
        for (int b = 0; b < kPackedProgDataSize; ++b)
        {
            const auto it = c.expectedBytes.find(b);
            EXPECT_EQ(packed[b], it == c.expectedBytes.end() ? 0 : it->second) << "byte " << b;
        }
        CProgParamColumn record(packed);
        for (int i = 0; i < kProgParamCount; ++i)
            EXPECT_EQ(record.getProgParam(i), values[i]) << "value " << i;
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(record.m_bFxOnOff[k], ((values[0] >> k) & 1) != 0);
        EXPECT_EQ(record.m_iOrigProgNo, kNoOrigProgNo);
        EXPECT_TRUE(record.getFileName().isEmpty());
    }
}

TEST(PackedData, DataByteWithBit7IsTakenWhole)
{
    for (unsigned char high : {0x00, 0x01})
    {
        unsigned char packed[kPackedProgDataSize] = {};
        packed[0] = high;
        packed[1] = 0x90;
        CProgParamColumn record(packed);
        EXPECT_EQ(record.getProgParam(0), 144) << "high byte " << int(high);
    }
}

TEST(PackedData, RandomRecordsRoundTripWithSevenBitBytes)
{
    juce::Random rng(20240611);
    for (int n = 0; n < 2000; ++n)
    {
        int values[kProgParamCount];
        for (auto& v : values)
            v = rng.nextInt(256);
        unsigned char packed[kPackedProgDataSize];
        CProgParamColumn::encodePackedData(values, packed);
        for (auto b : packed)
            ASSERT_LT(b, 0x80);
        int decoded[kProgParamCount];
        CProgParamColumn::decodePackedData(packed, decoded);
        for (int i = 0; i < kProgParamCount; ++i)
            ASSERT_EQ(decoded[i], values[i]) << "record " << n << " value " << i;
        unsigned char again[kPackedProgDataSize];
        CProgParamColumn::encodePackedData(decoded, again);
        ASSERT_EQ(0, std::memcmp(packed, again, sizeof(packed)));
    }
}

TEST(PackedData, DecoderReadsExactly37Bytes)
{
    // A 37-byte heap block: reading one byte more is caught by the sanitizer.
    std::unique_ptr<unsigned char[]> packed(new unsigned char[kPackedProgDataSize]);
    std::memset(packed.get(), 0xFF, kPackedProgDataSize);
    CProgParamColumn record(packed.get());
    for (int i = 0; i < kProgParamCount; ++i)
        EXPECT_EQ(record.getProgParam(i), 255);
}

TEST(InitialProgram, DecodesToVolume80Speed2000Delay1000AllEffectsOff)
{
    CProgParamColumn record(ucInitProgData);
    for (int i = 0; i < kProgParamCount; ++i)
    {
        int expected = 0;
        switch (i)
        {
            case 7: expected = 80; break;
            case 19: expected = 208; break;
            case 20: expected = 7; break;
            case 24: expected = 232; break;
            case 25: expected = 3; break;
            default: break;
        }
        EXPECT_EQ(record.getProgParam(i), expected) << "value " << i;
    }
    EXPECT_EQ(record.getProgParam(19) + 256 * record.getProgParam(20), 2000);
    EXPECT_EQ(record.getProgParam(24) + 256 * record.getProgParam(25), 1000);
    for (bool on : record.m_bFxOnOff)
        EXPECT_FALSE(on);
    EXPECT_EQ(record.m_iOrigProgNo, kNoOrigProgNo);
}

TEST(ProgRecord, SetProgParamLeavesFlagsUntilSetFxOnOffStatus)
{
    CProgParamColumn record;
    record.setProgParam(0, 255);
    for (bool on : record.m_bFxOnOff)
        EXPECT_FALSE(on);
    record.setFxOnOffStatus(0xA5);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(record.m_bFxOnOff[k], ((0xA5 >> k) & 1) != 0);
}
