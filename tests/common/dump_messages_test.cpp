#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include <gtest/gtest.h>

namespace
{
// 100 distinct user programs and three library files (rows 100 to 399), row
// 5 left blank.
struct DumpFixture : ::testing::Test
{
    CProgNameTable table;
    void SetUp() override
    {
        table.initialize();
        const auto block = progBlock(11);
        std::copy(block.begin(), block.end(), table.m_ucReadProgData);
        table.UpdateUserProg();
        for (int i = 0; i < kProgParamCount; ++i)
            table.getRecord(5)->setProgParam(i, 0);
        for (int f = 0; f < 3; ++f)
        {
            const auto lib = progBlock(20 + f);
            for (int k = 0; k < kUserProgCount; ++k)
                table.Add(const_cast<unsigned char*>(lib.data()) + k * kProgDumpSize + 9);
        }
    }
    std::array<int, kProgParamCount> expectedValues(int row)
    {
        if (row == 5)
            return {};
        return row < 100 ? progValues(11, row) : progValues(20 + row / 100 - 1, row % 100);
    }
};
} // namespace

TEST_F(DumpFixture, EncodersBuildTheMessageOfTheRow)
{
    struct Case
    {
        bool current;   // current-program dump, else program dump
        int row;        // row asked for
        int sentRow;    // row whose program the message carries
        int numberByte; // byte 8 of the program dump (of the work record for a current dump)
    };
    const Case cases[] = {
        {false, 5, 5, 0x05}, {false, 99, 99, 0x63}, {false, 0, 0, 0x00},
        {true, -1, 0, 0x00}, {true, 42, 42, 42},     {true, 150, 150, 150},
        {true, 300, 300, 300 & 0xFF},                 {true, 399, 399, 399 & 0xFF},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << (c.current ? "current " : "write ") << c.row);
        unsigned char msg[kProgDumpSize];
        std::memset(msg, 0xEE, sizeof(msg));
        const auto expected = progDump(expectedValues(c.sentRow), c.numberByte);
        if (c.current)
        {
            table.CopyProgForCurDump(c.row, msg);
            EXPECT_EQ(0, std::memcmp(table.m_ucWriteProgData, expected.data(), kProgDumpSize));
            const unsigned char head[7] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40};
            EXPECT_EQ(0, std::memcmp(msg, head, 7));
            EXPECT_EQ(0, std::memcmp(msg + 7, expected.data() + 9, kPackedProgDataSize));
            EXPECT_EQ(msg[44], 0xF7);
            EXPECT_EQ(msg[45], 0xEE) << "wrote past the 45 bytes";
        }
        else
        {
            table.CopyProgForWrite(c.row, msg);
            EXPECT_EQ(std::vector<unsigned char>(msg, msg + kProgDumpSize), expected);
        }
    }
    // The blank row 5 literally.
    unsigned char msg[kProgDumpSize];
    table.CopyProgForWrite(5, msg);
    const unsigned char head[9] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20, 0x05};
    EXPECT_EQ(0, std::memcmp(msg, head, 9));
    for (int b = 9; b < 46; ++b)
        EXPECT_EQ(msg[b], 0);
    EXPECT_EQ(msg[46], 0xF7);
}

TEST_F(DumpFixture, SavedBlockRebuiltIntoUserAreaEncodesToTheSameBytes)
{
    unsigned char first[kProgDumpBlockSize];
    for (int r = 0; r < 100; ++r)
        table.CopyProgForWrite(r, first + r * kProgDumpSize);

    CProgNameTable other;
    other.initialize();
    std::memcpy(other.m_ucReadProgData, first, sizeof(first));
    other.UpdateUserProg();
    unsigned char second[kProgDumpBlockSize];
    for (int r = 0; r < 100; ++r)
        other.CopyProgForWrite(r, second + r * kProgDumpSize);
    EXPECT_EQ(0, std::memcmp(first, second, sizeof(first)));
}
