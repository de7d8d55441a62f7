#include "CConfigDialogComponent.h"
#include "CProgCellDisplay.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include "DisplayTables.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <map>
#include <vector>

namespace
{
// Effect flag indices of a record.
enum
{
    kPedal1,
    kPedal2,
    kAmp,
    kCabinet,
    kModulation,
    kDelay,
    kReverb
};

void setFlags(CProgParamColumn& r, bool on)
{
    for (auto& f : r.m_bFxOnOff)
        f = on;
}

juce::String textOf(const CProgParamColumn& r, int columnId, int row = 0)
{
    return CProgCellDisplay::getCellContent(r, row, columnId).text;
}

bool dimmedOf(const CProgParamColumn& r, int columnId)
{
    return CProgCellDisplay::getCellContent(r, 0, columnId).dimmed;
}

// The effect whose flag dims each column; absent: never dimmed.
const std::map<int, int> kColumnEffect = {
    {3, kPedal1},      {4, kPedal1},      {5, kPedal2},      {6, kPedal2},      {7, kAmp},
    {8, kAmp},         {9, kAmp},         {10, kAmp},        {11, kAmp},        {12, kAmp},
    {14, kCabinet},    {16, kModulation}, {17, kModulation}, {18, kModulation}, {19, kModulation},
    {20, kDelay},      {21, kDelay},      {22, kDelay},      {23, kDelay},      {24, kReverb},
    {25, kReverb}};

juce::Image transparentImage(int w, int h) { return juce::Image(juce::Image::ARGB, w, h, true); }

// The most frequent colour of the inked pixels from column fromX up to the
// separator column: for text of a large font, that of fully covered pixels.
juce::Colour dominantInk(const juce::Image& image, int fromX = 0)
{
    std::map<juce::uint32, int> counts;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = fromX; x < image.getWidth() - 1; ++x)
        {
            const auto c = image.getPixelAt(x, y);
            if (c.getAlpha() != 0)
                ++counts[c.getARGB()];
        }
    juce::uint32 best = 0;
    int bestCount = 0;
    for (const auto& [argb, n] : counts)
        if (n > bestCount)
        {
            best = argb;
            bestCount = n;
        }
    return juce::Colour(best);
}

// Pixels read back from an image lose some colour precision at low alpha
// (premultiplied storage): the alpha must match exactly, the colour nearly.
::testing::AssertionResult colourNear(juce::Colour actual, juce::uint32 expectedArgb)
{
    const juce::Colour e(expectedArgb);
    const bool near = actual.getAlpha() == e.getAlpha() && std::abs(actual.getRed() - e.getRed()) <= 3
                      && std::abs(actual.getGreen() - e.getGreen()) <= 3 && std::abs(actual.getBlue() - e.getBlue()) <= 3;
    if (near)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual.toDisplayString(true) << " is not " << e.toDisplayString(true);
}

bool anyInk(const juce::Image& image, int x0, int x1)
{
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = x0; x < x1; ++x)
            if (image.getPixelAt(x, y).getAlpha() != 0)
                return true;
    return false;
}

// A table wired to a settings panel, with records added directly.
struct CellFixture : ::testing::Test
{
    CConfigDialogComponent config;
    CProgNameTable table;

    void SetUp() override
    {
        table.setConfigDialogComponent(&config);
        table.setSize(900, 400);
    }

    CProgParamColumn& addRecord()
    {
        auto* r = table.m_aProgList.add(new CProgParamColumn());
        table.updateContent();
        return *r;
    }

    juce::Image paintCell(int row, int columnId, int w, int h, bool selected)
    {
        auto image = transparentImage(w, h);
        juce::Graphics g(image);
        table.paintCell(g, row, columnId, w, h, selected);
        return image;
    }

    juce::Colour rowBackground(int row, bool selected)
    {
        auto image = transparentImage(40, 14);
        juce::Graphics g(image);
        table.paintRowBackground(g, row, 40, 14, selected);
        return image.getPixelAt(20, 7);
    }
};
} // namespace

TEST(CellContent, BlankRecordShowsRowZeroTextsAndDimsEveryEffectColumn)
{
    CProgParamColumn blank;
    const std::map<int, juce::String> expected = {
        {1, "000"},
        {2, "---"},
        {3, kPdl1Types[0]},
        {4, "0"},
        {5, kPdl2Types[0]},
        {6, "0.0"},
        {7, kAmpTypes[0]},
        {8, "0.0"},  {9, "0.0"},  {10, "0.0"}, {11, "0.0"}, {12, "0.0"}, {13, "0.0"},
        {14, kCabTypes[0]},
        {15, "0.0"},
        {16, kModTypes[0]},
        {17, "0.0"},
        {18, " --- "},
        {19, " --- "},
        {20, kDlyTypes[0]},
        {21, "0"},
        {22, "0.0"},
        {23, "0[ms]"},
        {24, kRevTypes[0]},
        {25, "0"},
        {26, " --- "},
        {0, ""},
        {27, ""},
    };
    for (const auto& [columnId, text] : expected)
    {
        const auto content = CProgCellDisplay::getCellContent(blank, 0, columnId);
        EXPECT_EQ(content.text, text) << "column " << columnId;
        // Target 0 has no text: the expression column is dimmed as well.
        const bool dims = kColumnEffect.count(columnId) != 0 || columnId == 26;
        EXPECT_EQ(content.dimmed, dims) << "column " << columnId;
    }
}

TEST(CellContent, EachColumnIsDimmedByItsOwnEffectOnly)
{
    CProgParamColumn r;
    r.setProgParam(26, 1); // the volume target, never dimmed
    for (int effect = kPedal1; effect <= kReverb; ++effect)
    {
        setFlags(r, true);
        r.m_bFxOnOff[effect] = false;
        for (int columnId = 1; columnId <= kColumnCount; ++columnId)
        {
            const auto it = kColumnEffect.find(columnId);
            const bool expected = it != kColumnEffect.end() && it->second == effect;
            EXPECT_EQ(dimmedOf(r, columnId), expected) << "column " << columnId << ", effect " << effect;
        }
    }
    // The eighth bit dims nothing.
    setFlags(r, true);
    r.m_bFxOnOff[7] = false;
    for (int columnId = 1; columnId <= kColumnCount; ++columnId)
        EXPECT_FALSE(dimmedOf(r, columnId)) << "column " << columnId;
}

TEST(CellContent, ColumnsReadTheirOwnValues)
{
    CProgParamColumn r;
    setFlags(r, true);
    // Every value distinct, and the model types inside their tables.
    const int values[27] = {0,  2,  77, 7,  44, 15, 80, 81, 82, 83, 84, 42, 3, 9,
                            2,  45, 9,  47, 58, 1,  1,  1,  52, 53, 10, 1,  21};
    for (int i = 0; i < 27; ++i)
        r.setProgParam(i, values[i]);

    const std::map<int, juce::String> expected = {
        {3, kPdl1Types[2]},
        {4, "77"},
        {5, kPdl2Types[7]},
        {6, "4.4"},
        {7, kAmpTypes[15]},
        {8, "8.0"},  // value 6
        {9, "8.2"},  // value 8
        {10, "8.3"}, // value 9
        {11, "8.4"}, // value 10
        {12, "4.2"}, // value 11
        {13, "8.1"}, // value 7
        {14, kCabTypes[9]},
        {15, "0.6"}, // value 12 = 3 fifths
        {16, kModTypes[9]},
        {17, "4.7"},
        {18, "5.8"},      // the sweep type has a resonance
        {19, "DOWN"},     // speed word 1 * 256 + 1
        {20, kDlyTypes[1]},
        {21, "52"},
        {22, "5.3"},
        {23, "266[ms]"},  // 1 * 256 + 10
        {24, kRevTypes[2]},
        {25, "45"},
        {26, "DLY FBACK"},
    };
    for (const auto& [columnId, text] : expected)
        EXPECT_EQ(textOf(r, columnId), text) << "column " << columnId;
}

TEST(CellContent, RowNumberAndProgramLabel)
{
    CProgParamColumn r;
    const std::vector<std::pair<int, const char*>> rows = {{0, "000"}, {7, "007"}, {99, "099"}, {100, "100"}, {10099, "10099"}};
    for (const auto& [row, text] : rows)
        EXPECT_EQ(textOf(r, 1, row), text);

    struct Label
    {
        const char* file;
        int number;
        const char* text;
    };
    const Label labels[] = {
        {"", 0, "01-1"},     {"", 3, "01-4"},          {"", 4, "02-1"},        {"", 99, "25-4"},
        {"", 100, "---"},    {"", 101, "---"},         {"", -1, "---"},        {"Live", 5, "Live_02-2"},
        {"Live", 101, "Live_---"}, {"a b", 98, "a b_25-3"},
    };
    for (const auto& l : labels)
    {
        r.m_sFileName = l.file;
        r.m_iOrigProgNo = l.number;
        EXPECT_EQ(textOf(r, 2), l.text) << l.file << " " << l.number;
        EXPECT_FALSE(dimmedOf(r, 2));
    }
}

TEST(CellContent, InitialProgramShowsVolumeSpeedAndTime)
{
    CProgParamColumn initial(ucInitProgData);
    EXPECT_EQ(textOf(initial, 2), "---");
    EXPECT_EQ(textOf(initial, 13), "8.0");
    EXPECT_EQ(textOf(initial, 19), "0.50[Hz]");
    EXPECT_EQ(textOf(initial, 23), "1000[ms]");
    EXPECT_FALSE(dimmedOf(initial, 13));
    EXPECT_TRUE(dimmedOf(initial, 19));
}

TEST(CellContent, ModulationTypeChoosesSpeedAndResoTexts)
{
    struct Case
    {
        int type, low, high;
        const char* speed;
        const char* reso; // value 18 is 33
    };
    const Case cases[] = {
        {0, 208, 7, "0.50[Hz]", " --- "}, {0, 0, 1, "3.91[Hz]", " --- "}, // the high byte counts 256
        {6, 33, 0, "30[Hz]", " --- "},    {7, 208, 7, " --- ", " --- "},
        {8, 13, 0, "DT", " --- "},        {8, 0, 0, "-12", " --- "},      {8, 25, 0, "+12", " --- "},
        {9, 0, 0, "UP", "3.3"},           {9, 0, 1, "DOWN", "3.3"},       {10, 0, 0, "TYPE1", "3.3"},
        {10, 1, 0, "TYPE2", "3.3"},       {11, 100, 0, "10.00[Hz]", " --- "},
    };
    for (const auto& c : cases)
    {
        CProgParamColumn r;
        r.m_bFxOnOff[kModulation] = true;
        r.setProgParam(16, c.type);
        r.setProgParam(18, 33);
        r.setProgParam(19, c.low);
        r.setProgParam(20, c.high);
        EXPECT_EQ(textOf(r, 19), c.speed) << c.type << " " << c.low << " " << c.high;
        EXPECT_EQ(textOf(r, 18), c.reso) << c.type;
        // A " --- " of these rules is dimmed only by the modulation flag.
        EXPECT_FALSE(dimmedOf(r, 18));
        EXPECT_FALSE(dimmedOf(r, 19));
    }
}

TEST(CellContent, ExpressionTargetPassesItsEffectTypeAndDimsByItsFlag)
{
    struct Case
    {
        int target;
        int typeIndex; // record value holding the type, or 0
        int type;
        int effect;    // -1: never dimmed
        const char* text;
    };
    const Case cases[] = {
        {1, 0, 0, -1, "VOLUME"},
        {4, 1, 2, kPedal1, "P1 TONE"},
        {4, 1, 4, kPedal1, " --- "},
        {8, 3, 4, kPedal2, "P2 SPEED"},
        {8, 3, 10, kPedal2, "P2 GAIN"},
        {12, 0, 0, kAmp, "A/P GAIN"},
        {16, 16, 9, kModulation, "MOD FREQ"},
        {17, 16, 10, kModulation, "MOD RESO"},
        {18, 16, 8, kModulation, "MOD PITCH"},
        {18, 16, 7, kModulation, " --- "},
        {20, 21, 3, kDelay, "DLY INPUT"},
        {21, 21, 0, kDelay, "DLY FBACK"},
        {24, 0, 0, kReverb, "REV INPUT"},
    };
    for (const auto& c : cases)
    {
        CProgParamColumn r;
        r.setProgParam(26, c.target);
        if (c.typeIndex != 0)
            r.setProgParam(c.typeIndex, c.type);
        const bool none = juce::String(c.text) == " --- ";
        for (int effect = kPedal1; effect <= kReverb; ++effect)
        {
            // Only this effect off: dimmed when it is the target's effect.
            setFlags(r, true);
            r.m_bFxOnOff[effect] = false;
            const auto content = CProgCellDisplay::getCellContent(r, 0, 26);
            EXPECT_EQ(content.text, c.text) << c.target;
            EXPECT_EQ(content.dimmed, none || effect == c.effect) << c.target << " effect " << effect;
        }
    }

    // Targets without a text are dimmed with every effect on.
    for (int target : {0, 2, 13, 25, 255})
    {
        CProgParamColumn r;
        setFlags(r, true);
        r.setProgParam(26, target);
        EXPECT_EQ(textOf(r, 26), " --- ") << target;
        EXPECT_TRUE(dimmedOf(r, 26)) << target;
    }
}

TEST_F(CellFixture, RowBackgroundsByRangeAndSelection)
{
    const std::vector<std::pair<int, juce::uint32>> rows = {
        {0, 0xff303030},   {99, 0xff303030},  {100, 0xff555555}, {199, 0xff555555},
        {200, 0xff696969}, {299, 0xff696969}, {300, 0xff808080}, {10099, 0xff808080},
    };
    for (const auto& [row, argb] : rows)
        EXPECT_EQ(rowBackground(row, false).getARGB(), argb) << row;
    EXPECT_FALSE(table.m_bCutEnable);

    for (int row : {0, 150, 250, 5000})
        EXPECT_EQ(rowBackground(row, true).getARGB(), 0xffdaa520u) << row;
    EXPECT_TRUE(table.m_bCutEnable);
    rowBackground(0, false);
    EXPECT_TRUE(table.m_bCutEnable);
}

TEST_F(CellFixture, SeparatorAtTheRightEdgeAlsoForRowsWithoutRecord)
{
    addRecord().setProgParam(7, 80);
    for (int row : {0, 1, 500})
    {
        auto image = paintCell(row, 13, 50, 14, false);
        for (int y = 0; y < 14; ++y)
            EXPECT_EQ(image.getPixelAt(49, y).getARGB(), 0x33000000u) << row << " y " << y;
        // A row without record gets no text.
        EXPECT_EQ(anyInk(image, 0, 49), row == 0) << row;
    }
}

TEST_F(CellFixture, TextColoursPlainDimmedAndSelected)
{
    config.m_dFontSize = 24.0; // large enough for fully covered glyph pixels
    auto& r = addRecord();
    r.setProgParam(6, 88);
    r.setProgParam(7, 88);
    struct Case
    {
        int columnId; // 13 is never dimmed, 8 is dimmed with the amp off
        bool selected;
        juce::uint32 argb;
    };
    const Case cases[] = {
        {13, false, 0xfff5f5dc},
        {8, false, 0x4cf5f5dc},
        {13, true, 0xff303030},
        {8, true, 0x4c303030},
    };
    for (const auto& c : cases)
    {
        auto image = paintCell(0, c.columnId, 60, 26, c.selected);
        EXPECT_TRUE(colourNear(dominantInk(image), c.argb)) << c.columnId << " " << c.selected;
        // The text starts at x 2.
        EXPECT_FALSE(anyInk(image, 0, 2));
    }
}

TEST_F(CellFixture, AmpDotColourByGroupDimmedWhileTheAmpIsOff)
{
    config.m_dFontSize = 24.0; // fully covered pixels also in " --- "
    auto& r = addRecord();
    struct Case
    {
        int type;
        juce::uint32 dot; // 0: no dot
    };
    const Case cases[] = {{0, 0xff9acd32},  {10, 0xff9acd32}, {11, 0xffffa500}, {21, 0xffffa500},
                          {22, 0xffff0000}, {32, 0xffff0000}, {33, 0},          {44, 0}, {255, 0}};
    for (bool ampOn : {true, false})
        for (const auto& c : cases)
        {
            SCOPED_TRACE(juce::String(c.type) + (ampOn ? " on" : " off"));
            r.m_bFxOnOff[kAmp] = ampOn;
            r.setProgParam(5, c.type);
            // Height 20: the dot is the circle at (5, 2) of diameter 10.
            auto image = paintCell(0, 7, 125, 20, false);
            const auto centre = image.getPixelAt(10, 7);
            if (c.dot == 0)
                EXPECT_FALSE(anyInk(image, 0, 16));
            else
                EXPECT_TRUE(colourNear(centre, ampOn ? c.dot : (c.dot & 0x00ffffff) | 0x4c000000));
            // Nothing between dot and text; the text starts at x 16 in the
            // text colour of the amp flag.
            EXPECT_FALSE(anyInk(image, 15, 16));
            EXPECT_TRUE(anyInk(image, 16, 124));
            // The thin strokes of " --- " and "???" cover no pixel fully.
            if (c.type < 44)
                EXPECT_TRUE(colourNear(dominantInk(image, 16), ampOn ? 0xfff5f5dc : 0x4cf5f5dc));
        }
}

TEST_F(CellFixture, MissingSettingsPanelPaintsWithTheDefaultFontSize)
{
    auto& r = addRecord();
    r.setProgParam(7, 123);
    config.m_dFontSize = 12.6;
    const auto withPanel = paintCell(0, 13, 60, 20, false);
    config.m_dFontSize = 20.0;
    const auto larger = paintCell(0, 13, 60, 20, false);

    table.setConfigDialogComponent(nullptr);
    const auto withoutPanel = paintCell(0, 13, 60, 20, false);
    auto same = [](const juce::Image& a, const juce::Image& b) {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt(x, y) != b.getPixelAt(x, y))
                    return false;
        return true;
    };
    EXPECT_TRUE(same(withPanel, withoutPanel));
    EXPECT_FALSE(same(larger, withoutPanel));

    // A whole paint without panel, and no settings applied afterwards.
    const int rowHeight = table.getRowHeight();
    table.createComponentSnapshot(table.getLocalBounds());
    ASSERT_TRUE(deliverPosted());
    EXPECT_EQ(table.getRowHeight(), rowHeight);
    table.updateColumnStatus(nullptr);
    EXPECT_EQ(table.getRowHeight(), rowHeight);
}

TEST_F(CellFixture, RowAndHeaderHeightsFollowTheFontSize)
{
    for (const auto& [font, rows, header] : std::vector<std::tuple<double, int, int>>{{6.0, 8, 16}, {12.0, 14, 22}, {24.0, 26, 34}, {12.6, 14, 22}, {23.9, 25, 33}})
    {
        CProgNameTable fresh;
        ASSERT_EQ(fresh.getRowHeight(), 22);
        config.m_dFontSize = font;
        fresh.updateColumnStatus(&config);
        EXPECT_EQ(fresh.getRowHeight(), rows) << font;
        EXPECT_EQ(fresh.getHeaderHeight(), header) << font;
    }

    // Once set, the heights stay while the size is within r - 2.5 to r + 1.5.
    const std::vector<std::tuple<double, int, int>> steps = {
        {12.0, 14, 22}, {12.4, 14, 22}, {11.5, 14, 22}, {11.4, 13, 21},
        {14.4, 13, 21}, {14.6, 16, 24}, {16.0, 16, 24},
    };
    for (const auto& [font, rows, header] : steps)
    {
        config.m_dFontSize = font;
        table.updateColumnStatus(&config);
        EXPECT_EQ(table.getRowHeight(), rows) << font;
        EXPECT_EQ(table.getHeaderHeight(), header) << font;
    }
}

TEST_F(CellFixture, ShowHideFlagsHideAndShowTheirColumnsKeepingTheWidths)
{
    auto& header = table.getHeader();
    for (int id = 1; id <= kColumnCount; ++id)
        header.setColumnWidth(id, 20 + id);

    for (int k = 0; k < kShowHideFlagCount; ++k)
        config.m_bColumnVisible[k] = (k % 3) != 0;
    table.updateColumnStatus(&config);
    for (int k = 0; k < kShowHideFlagCount; ++k)
        EXPECT_EQ(header.isColumnVisible(kFlagColumn[k]), (k % 3) != 0) << k;
    EXPECT_TRUE(header.isColumnVisible(1));
    EXPECT_TRUE(header.isColumnVisible(2));

    for (auto& f : config.m_bColumnVisible)
        f = true;
    table.updateColumnStatus(&config);
    for (int id = 1; id <= kColumnCount; ++id)
    {
        EXPECT_TRUE(header.isColumnVisible(id)) << id;
        EXPECT_EQ(header.getColumnWidth(id), 20 + id) << id;
    }
}

TEST_F(CellFixture, PaintingAppliesChangedSettingsAfterThePaint)
{
    for (int i = 0; i < 30; ++i)
        addRecord();
    for (auto& f : config.m_bColumnVisible)
        f = true;
    config.m_dFontSize = 12.0;
    table.updateColumnStatus(&config);
    ASSERT_EQ(table.getRowHeight(), 14);
    const int pedal1Width = table.getHeader().getColumnWidth(3);

    config.m_dFontSize = 24.0;
    config.m_bColumnVisible[0] = false; // column 3
    table.createComponentSnapshot(table.getLocalBounds());
    // Rebuilding rows inside the paint could delete the row being painted.
    EXPECT_EQ(table.getRowHeight(), 14);
    EXPECT_TRUE(table.getHeader().isColumnVisible(3));

    EXPECT_TRUE(pumpUntil([&] { return table.getRowHeight() == 26; }, 1000));
    EXPECT_EQ(table.getHeaderHeight(), 34);
    EXPECT_FALSE(table.getHeader().isColumnVisible(3));

    config.m_bColumnVisible[0] = true;
    table.createComponentSnapshot(table.getLocalBounds());
    EXPECT_TRUE(pumpUntil([&] { return table.getHeader().isColumnVisible(3); }, 1000));
    EXPECT_EQ(table.getHeader().getColumnWidth(3), pedal1Width);
    EXPECT_EQ(table.getRowHeight(), 26);
}

TEST_F(CellFixture, CellsHaveThePixelsOfTheFrameworksTextDrawing)
{
    auto& r = addRecord();
    r.m_sFileName = "A library file with a long name";
    r.m_iOrigProgNo = 42;
    r.setProgParam(5, 12);
    r.m_bFxOnOff[kAmp] = true;
    for (const auto& [columnId, width, selected] : std::vector<std::tuple<int, int, bool>>{
             {2, 40, false}, {2, 350, true}, {13, 50, false}, {7, 125, false}, {7, 40, true}, {1, 30, true}})
    {
        SCOPED_TRACE(juce::String(columnId) + " " + juce::String(width));
        const int height = 16;
        const auto painted = paintCell(0, columnId, width, height, selected);

        auto expected = transparentImage(width, height);
        {
            juce::Graphics g(expected);
            g.setFont(juce::Font((float) config.getTargetFontSize(), juce::Font::plain));
            int x = 2;
            if (columnId == 7)
            {
                g.setColour(juce::Colours::orange);
                g.fillEllipse(5.0f, 2.0f, height * 0.5f, height * 0.5f);
                x = 16;
            }
            g.setColour(selected ? juce::Colour(0xff303030) : juce::Colours::beige);
            g.drawText(CProgCellDisplay::getCellContent(r, 0, columnId).text, x, 0, width - 4, height,
                       juce::Justification::centredLeft, true);
            g.setColour(juce::Colours::black.withAlpha(0.2f));
            g.fillRect(width - 1, 0, 1, height);
        }
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                differing += painted.getPixelAt(x, y) != expected.getPixelAt(x, y) ? 1 : 0;
        EXPECT_EQ(differing, 0);
    }
}
