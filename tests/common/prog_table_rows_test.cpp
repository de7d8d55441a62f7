#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include <gtest/gtest.h>

namespace
{
// A table with its user area filled, as the content component leaves it.
struct RowsFixture : ::testing::Test
{
    CProgNameTable table;
    void SetUp() override
    {
        table.setSize(800, 600);
        table.initialize();
    }
    // Appends a library file's worth of rows as the reader does.
    void addLibrary(const juce::String& name, int seed)
    {
        auto block = progBlock(seed);
        const int n = table.getNumRows();
        for (int k = 0; k < kUserProgCount; ++k)
        {
            table.Add(block.data() + k * kProgDumpSize + 9);
            table.setFileName(n + k, name);
            table.setOrigProgNo(n + k, k);
        }
    }
};
} // namespace

// The columns themselves are checked against the literal tables in
// column_tables_test.cpp.
TEST(ProgTable, ConstructedTableIsNamedAndHasNoRowsNoSelectionAndNoHeaderMenu)
{
    CProgNameTable table;
    EXPECT_EQ(table.getName(), "ProgNameTable");
    EXPECT_FALSE(table.getHeader().isPopupMenuActive());
    EXPECT_TRUE(table.getNumRows() == 0 && table.getNumSelectedRows() == 0);
    EXPECT_EQ(table.getLastRowSelected(), -1);
}

TEST_F(RowsFixture, InitializeGivesHundredBlankRowsWithRowZeroSelectedOnce)
{
    ASSERT_EQ(table.getNumRows(), kUserProgCount);
    for (int r = 0; r < kUserProgCount; ++r)
    {
        auto* rec = table.getRecord(r);
        EXPECT_EQ(rec->m_iOrigProgNo, kNoOrigProgNo);
        EXPECT_TRUE(rec->getFileName().isEmpty());
        for (int i = 0; i < kProgParamCount; ++i)
            ASSERT_EQ(rec->getProgParam(i), 0);
    }
    EXPECT_EQ(selectedRows(table), std::vector<int>{0});
    table.selectRow(7);
    table.initialize();
    EXPECT_EQ(table.getNumRows(), kUserProgCount);
    EXPECT_EQ(selectedRows(table), std::vector<int>{7});
}

TEST(ProgTable, FirstAddIntoEmptyTableSelectsNothingSecondSelectsRowZero)
{
    // The list cannot select a row it has not been told about yet.
    CProgNameTable table;
    table.Add();
    EXPECT_EQ(table.getNumSelectedRows(), 0);
    table.Add();
    EXPECT_EQ(selectedRows(table), std::vector<int>{0});
}

TEST_F(RowsFixture, AppendSelectsRememberedRowOnlyWhenNothingIsSelected)
{
    table.m_iReselectRow = 40;
    table.deselectAllRows();
    table.Add();
    EXPECT_EQ(selectedRows(table), std::vector<int>{40});
    EXPECT_EQ(table.getLastRowSelected(), 40);

    setSelection(table, {3, 5}, 5);
    table.Add();
    EXPECT_EQ(selectedRows(table), (std::vector<int>{3, 5}));
    EXPECT_EQ(table.getLastRowSelected(), 5);
}

TEST_F(RowsFixture, RowCountFollowsLibrariesAndClose)
{
    table.Close();
    EXPECT_EQ(table.getNumRows(), 100);
    addLibrary("A", 1);
    EXPECT_EQ(table.getNumRows(), 200);
    addLibrary("B", 2);
    EXPECT_EQ(table.getNumRows(), 300);
    table.Close();
    EXPECT_EQ(table.getNumRows(), 100);
}

TEST_F(RowsFixture, CloseKeepsUserSelectionOrReselectsRememberedRow)
{
    struct Case
    {
        std::vector<int> selected;
        int anchor, reselect;
        std::vector<int> after;
    };
    const Case cases[] = {
        {{150, 250}, 250, 40, {40}},   // only library rows: the remembered row
        {{299}, 299, 0, {0}},
        {{12, 150}, 150, 40, {12}},   // user rows stay, library rows drop out
        {{}, -1, 99, {99}},
    };
    for (const auto& c : cases)
    {
        addLibrary("A", 1);
        addLibrary("B", 2);
        setSelection(table, c.selected, c.anchor);
        table.m_iReselectRow = c.reselect;
        table.Close();
        EXPECT_EQ(table.getNumRows(), 100);
        EXPECT_EQ(selectedRows(table), c.after);
        EXPECT_EQ(table.getLastRowSelected(), c.after.front());
    }
}

TEST_F(RowsFixture, UpdateUserProgRebuildsUserAreaAndKeepsLibraryRowsAndSelection)
{
    addLibrary("Live", 5);
    setSelection(table, {3, 120}, 120);
    table.m_iReselectRow = 17;
    // Every number byte says 7: rows still take their position.
    const auto block = progBlock(9, 7);
    std::copy(block.begin(), block.end(), table.m_ucReadProgData);
    table.UpdateUserProg();

    ASSERT_EQ(table.getNumRows(), 200);
    for (int r = 0; r < 100; ++r)
    {
        EXPECT_EQ(rowValues(table, r), progValues(9, r));
        EXPECT_EQ(table.getRecord(r)->m_iOrigProgNo, r);
        EXPECT_TRUE(table.getRecord(r)->getFileName().isEmpty());
        const int v0 = table.getRecord(r)->getProgParam(0);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(table.getRecord(r)->m_bFxOnOff[k], ((v0 >> k) & 1) != 0);
    }
    for (int r = 100; r < 200; ++r)
    {
        EXPECT_EQ(rowValues(table, r), progValues(5, r - 100));
        EXPECT_EQ(table.getRecord(r)->m_iOrigProgNo, r - 100);
        EXPECT_EQ(table.getRecord(r)->getFileName(), "Live");
    }
    EXPECT_EQ(selectedRows(table), (std::vector<int>{3, 120}));
    EXPECT_EQ(table.getLastRowSelected(), 120);
    EXPECT_EQ(table.m_iReselectRow, 17);
}

TEST(ProgTable, UpdateUserProgOnEmptyTableGivesSelectableUserArea)
{
    CProgNameTable table;
    const auto block = progBlock(3);
    std::copy(block.begin(), block.end(), table.m_ucReadProgData);
    table.UpdateUserProg();
    ASSERT_EQ(table.getNumRows(), 100);
    table.selectRow(99);
    EXPECT_EQ(table.getLastRowSelected(), 99);
}
