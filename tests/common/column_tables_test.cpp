// The table's 26 columns and the 24 show/hide flags, written out here as
// literals rather than read from the program's own tables, so that a changed
// title, width, limit or flag order in the program shows as a failure.
#include "CConfigDialogComponent.h"
#include "CProgNameTable.h"
#include <gtest/gtest.h>

namespace
{
struct SColumnCase
{
    int id;
    const char* title;
    int width, minimum, maximum;
};
const SColumnCase kColumns[26] = {
    {1, "No.", 30, 10, 160},         {2, "Prog.", 40, 10, 350},     {3, "PEDAL1", 75, 10, 200},
    {4, "Value", 50, 10, 200},       {5, "PEDAL2", 75, 10, 200},    {6, "Value", 50, 10, 200},
    {7, "AMP/PEDAL", 125, 10, 220},  {8, "GAIN", 45, 10, 160},      {9, "TREBLE", 50, 10, 160},
    {10, "MIDDLE", 50, 10, 160},     {11, "BASS", 50, 10, 160},     {12, "PRESENCE", 60, 10, 200},
    {13, "VOLUME", 50, 10, 160},     {14, "CABINET", 90, 10, 200},  {15, "NR", 30, 10, 160},
    {16, "MODULATION", 75, 10, 200}, {17, "Depth", 65, 10, 220},    {18, "Reso", 60, 10, 200},
    {19, "Speed", 60, 10, 200},      {20, "DELAY", 75, 10, 200},    {21, "Level", 65, 10, 220},
    {22, "FBack", 60, 10, 200},      {23, "Time", 60, 10, 200},     {24, "REVERB", 65, 10, 200},
    {25, "Level", 50, 10, 200},      {26, "EXPRESSION", 65, 10, 200}};

// Flag k shows or hides this column.
const int kFlagColumn[24] = {3, 4, 5, 6, 7, 8, 13, 9, 10, 11, 12, 15, 14, 24, 25, 16, 17, 18, 19, 20, 21, 22, 23, 26};

// The panel's toggles in the order it creates them: text, flag.
struct SToggleFlag
{
    const char* text;
    int flag;
};
const SToggleFlag kToggleFlags[24] = {
    {"PEDAL1", 0},  {"Value", 1},  {"PEDAL2", 2}, {"Value", 3},       {"GAIN", 5},   {"VOLUME", 6},
    {"TREBLE", 7},  {"MIDDLE", 8}, {"BASS", 9},   {"PRESENCE", 10},   {"NR", 11},    {"CABINET", 12},
    {"REVERB", 13}, {"Level", 14}, {"MODULATION", 15}, {"Depth", 16}, {"Reso", 17},  {"Speed", 18},
    {"DELAY", 19},  {"Level", 20}, {"FBack", 21}, {"Time", 22},       {"EXPRESSOIN", 23}, {"AMP/PEDAL", 4}};

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
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
        EXPECT_FALSE(toggles[i]->getToggleState());
        EXPECT_FALSE(config.m_bColumnVisible[expected.flag]);
        table.updateColumnStatus(&config);
        EXPECT_EQ(visibleColumnIds(header), allIdsBut(column));
        // The toggle's text is the title of the column it hides.
        EXPECT_EQ(header.getColumnName(column), juce::String(expected.text).replace("EXPRESSOIN", "EXPRESSION"));

        toggles[i]->triggerClick();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
        table.updateColumnStatus(&config);
        EXPECT_EQ(visibleColumnIds(header), allIdsBut(0));
    }
}
