// The table's 26 columns and the 24 show/hide flags against the literal
// tables (ColumnTables.h): a changed title, width, limit or flag order in
// the program shows as a failure.
#include "CConfigDialogComponent.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
std::vector<int> visibleColumnIds(juce::TableHeaderComponent& header)
{
    std::vector<int> ids;
    for (int i = 0; i < header.getNumColumns(true); ++i)
        ids.push_back(header.getColumnIdOfIndex(i, true));
    return ids;
}

std::vector<int> allIdsBut(int hidden)
{
    std::vector<int> ids;
    for (int id = 1; id <= 26; ++id)
        if (id != hidden)
            ids.push_back(id);
    return ids;
}
} // namespace

TEST(ColumnTables, HeaderHasTheTwentySixColumnsInOrderWithTheirLimits)
{
    CProgNameTable table;
    auto& header = table.getHeader();
    ASSERT_EQ(header.getNumColumns(false), 26);
    for (int i = 0; i < 26; ++i)
    {
        const auto& c = kColumns[i];
        SCOPED_TRACE(juce::String(c.id) + " " + c.title);
        EXPECT_EQ(header.getColumnIdOfIndex(i, false), c.id);
        EXPECT_EQ(header.getColumnName(c.id), c.title);
        EXPECT_EQ(header.getColumnWidth(c.id), c.width);
        EXPECT_TRUE(header.isColumnVisible(c.id));
        header.setColumnWidth(c.id, 1);
        EXPECT_EQ(header.getColumnWidth(c.id), c.minimum);
        header.setColumnWidth(c.id, 10000);
        EXPECT_EQ(header.getColumnWidth(c.id), c.maximum);
    }
}

TEST(ColumnTables, EachFlagHidesItsOwnColumnAndNoOther)
{
    CProgNameTable table;
    CConfigDialogComponent config;
    auto& header = table.getHeader();
    for (int k = 0; k < 24; ++k)
    {
        SCOPED_TRACE("flag " + juce::String(k));
        for (auto& f : config.m_bColumnVisible)
            f = true;
        config.m_bColumnVisible[k] = false;
        table.updateColumnStatus(&config);
        EXPECT_EQ(visibleColumnIds(header), allIdsBut(kFlagColumn[k]));
    }
    // All flags off leaves the two columns that cannot be hidden.
    for (auto& f : config.m_bColumnVisible)
        f = false;
    table.updateColumnStatus(&config);
    EXPECT_EQ(visibleColumnIds(header), (std::vector<int>{1, 2}));
}

TEST(ColumnTables, EachToggleOfTheSettingsPanelHidesTheColumnItNames)
{
    CProgNameTable table;
    CConfigDialogComponent config;
    table.setConfigDialogComponent(&config);
    config.setProgNameTable(&table);
    auto& header = table.getHeader();
    for (auto& f : config.m_bColumnVisible)
        f = true;

    std::vector<juce::ToggleButton*> toggles;
    for (auto* child : config.getChildren())
        if (auto* t = dynamic_cast<juce::ToggleButton*>(child))
            toggles.push_back(t);
    ASSERT_EQ(toggles.size(), 24u);
    for (auto* t : toggles)
        t->setToggleState(true, juce::dontSendNotification);

    for (size_t i = 0; i < toggles.size(); ++i)
    {
        const auto& expected = kToggleFlags[i];
        const int column = kFlagColumn[expected.flag];
        SCOPED_TRACE(juce::String(expected.text) + " toggle");
        EXPECT_EQ(toggles[i]->getButtonText(), expected.text);

        toggles[i]->triggerClick();
        ASSERT_TRUE(deliverPosted());
        EXPECT_FALSE(toggles[i]->getToggleState());
        EXPECT_FALSE(config.m_bColumnVisible[expected.flag]);
        table.updateColumnStatus(&config);
        EXPECT_EQ(visibleColumnIds(header), allIdsBut(column));
        // The toggle's text is the title of the column it hides.
        EXPECT_EQ(header.getColumnName(column), juce::String(expected.text).replace("EXPRESSOIN", "EXPRESSION"));

        toggles[i]->triggerClick();
        ASSERT_TRUE(deliverPosted());
        table.updateColumnStatus(&config);
        EXPECT_EQ(visibleColumnIds(header), allIdsBut(0));
    }
}
