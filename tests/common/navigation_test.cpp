#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include <gtest/gtest.h>

namespace
{
constexpr unsigned char kUnsent = 0xEE;

struct NavFixture : ::testing::Test
{
    CMidiSetupComponent midi;
    CProgNameTable table;
    std::vector<juce::MidiMessage> sent; // what the device link hands to its output

    void SetUp() override
    {
        midi.setOutputSink([this](const juce::MidiMessage& m) { sent.push_back(m); });
        table.setSize(800, 600);
        table.initialize();
        const auto block = progBlock(4);
        std::copy(block.begin(), block.end(), table.m_ucReadProgData);
        table.UpdateUserProg();
        table.setMidiSetupComponent(&midi);
    }
    void forgetSend()
    {
        std::memset(table.m_ucCurDumpData, kUnsent, sizeof(table.m_ucCurDumpData));
        sent.clear();
    }
    // The row whose program was sent; -1 when nothing was sent.
    int rowSent()
    {
        if (sent.empty())
            return -1;
        EXPECT_EQ(sent.size(), 1u);
        // The 45 bytes that reach the output are the table's current-program message.
        EXPECT_EQ(sent[0].getRawDataSize(), kCurProgDumpSize);
        EXPECT_EQ(0, std::memcmp(sent[0].getRawData(), table.m_ucCurDumpData, kCurProgDumpSize));
        const unsigned char head[7] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40};
        EXPECT_EQ(0, std::memcmp(table.m_ucCurDumpData, head, 7));
        EXPECT_EQ(table.m_ucCurDumpData[44], 0xF7);
        int values[kProgParamCount];
        CProgParamColumn::decodePackedData(table.m_ucCurDumpData + 7, values);
        for (int r = 0; r < table.getNumRows(); ++r)
            if (std::equal(values, values + kProgParamCount, rowValues(table, r).begin()))
                return r;
        return -2;
    }
};

juce::MouseEvent clickOn(juce::Component& c)
{
    auto src = juce::Desktop::getInstance().getMainMouseSource();
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent(src, {5.0f, 5.0f}, {}, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, &c, &c, now, {5.0f, 5.0f}, now, 1,
                            false);
}
} // namespace

TEST_F(NavFixture, KeysMoveTheSelectionAndSendTheRowReached)
{
    using K = juce::KeyPress;
    struct Case
    {
        std::vector<int> sel;
        int anchor;
        int key;
        bool shift;
        std::vector<int> selAfter;
        int anchorAfter;
        int sent;
    };
    const Case cases[] = {
        {{99}, 99, K::pageUpKey, false, {50}, 50, 50},   // 49 rows up from the last row
        {{98}, 98, K::pageUpKey, false, {48}, 48, 48},
        {{30}, 30, K::pageUpKey, false, {0}, 0, 0},
        {{60}, 60, K::pageDownKey, false, {99}, 99, 99},
        {{99}, 99, K::pageDownKey, false, {99}, 99, 99},
        {{10}, 10, K::pageDownKey, false, {60}, 60, 60},
        {{0}, 0, K::upKey, false, {0}, 0, 0},
        {{99}, 99, K::downKey, false, {99}, 99, 99},
        {{10, 11, 12}, 11, K::downKey, false, {12}, 12, 12},
        {{10, 11, 12}, 11, K::upKey, false, {10}, 10, 10},
        {{}, -1, K::downKey, false, {0}, 0, 0},
        {{}, -1, K::upKey, false, {0}, 0, 0},
        {{}, -1, K::pageDownKey, false, {49}, 49, 49},
        {{}, -1, K::pageUpKey, false, {0}, 0, 0},
        {{}, -1, K::returnKey, false, {}, -1, 0},
        {{40, 41}, 40, K::returnKey, false, {40, 41}, 40, 40},
        {{99}, 99, K::downKey, true, {99}, 99, 99},
        {{0}, 0, K::upKey, true, {0}, 0, 0},
        {{10}, 10, K::downKey, true, {10, 11}, 11, 11},
        {{10}, 10, K::upKey, true, {9, 10}, 9, 9},
        {{10, 11, 12}, 12, K::upKey, true, {10, 11}, 11, 11},
        {{9, 10}, 9, K::downKey, true, {10}, 10, 10},
        {{3, 9, 10}, 9, K::downKey, true, {3, 10}, 3, 10},
        {{3, 10}, 3, K::downKey, true, {3, 4, 10}, 4, 4},
        {{3, 10, 11, 12}, 12, K::upKey, true, {3, 4, 5, 6, 7, 8, 9, 10, 11}, 11, 11},
        {{}, -1, K::downKey, true, {0}, 0, 0},
        {{60}, 60, K::pageDownKey, true, {99}, 99, 99},
        {{99}, 99, K::pageUpKey, true, {50}, 50, 50},
        {{40, 41}, 40, K::returnKey, true, {40, 41}, 40, 40},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "key " << c.key << (c.shift ? " shift" : "") << " anchor " << c.anchor);
        setSelection(table, c.sel, c.anchor);
        forgetSend();
        const juce::ModifierKeys mods(c.shift ? juce::ModifierKeys::shiftModifier : 0);
        EXPECT_TRUE(table.keyPressed(K(c.key, mods, 0)));
        EXPECT_EQ(selectedRows(table), c.selAfter);
        EXPECT_EQ(table.getLastRowSelected(), c.anchorAfter);
        EXPECT_EQ(rowSent(), c.sent);
    }
}

TEST_F(NavFixture, OtherKeysAreNotUsedAndSendNothing)
{
    using K = juce::KeyPress;
    for (const K& key : {K(K::homeKey), K(K::endKey), K(K::deleteKey), K('a'), K(K::spaceKey),
                         K(K::leftKey), K(K::downKey, juce::ModifierKeys::commandModifier, 0)})
    {
        setSelection(table, {20}, 20);
        forgetSend();
        const bool isDown = key.getKeyCode() == K::downKey;
        EXPECT_EQ(table.keyPressed(key), isDown) << key.getTextDescription();
        if (!isDown)
        {
            // Only the key code counts: the command modifier does not stop Down.
            EXPECT_EQ(selectedRows(table), std::vector<int>{20});
            EXPECT_EQ(rowSent(), -1);
        }
        else
            EXPECT_EQ(rowSent(), 21);
    }
}

TEST_F(NavFixture, ClickSendsTheRowLibraryRowsAlike)
{
    auto block = progBlock(8);
    for (int k = 0; k < kUserProgCount; ++k)
        table.Add(block.data() + k * kProgDumpSize + 9);
    for (int row : {0, 57, 150, 199})
    {
        forgetSend();
        table.cellClicked(row, 3, clickOn(table));
        EXPECT_EQ(rowSent(), row);
    }
    forgetSend();
    table.cellClicked(200, 3, clickOn(table)); // past the last row
    EXPECT_EQ(rowSent(), -1);
}

TEST(Navigation, WithoutRowsOrWithoutMidiPanelNothingIsSentOrRead)
{
    using K = juce::KeyPress;
    CMidiSetupComponent midi;
    int sends = 0;
    midi.setOutputSink([&](const juce::MidiMessage&) { ++sends; });
    CProgNameTable empty;
    empty.setMidiSetupComponent(&midi);
    std::memset(empty.m_ucCurDumpData, kUnsent, sizeof(empty.m_ucCurDumpData));
    for (int code : {K::downKey, K::upKey, K::pageDownKey, K::pageUpKey, K::returnKey})
        EXPECT_FALSE(empty.keyPressed(K(code)));
    EXPECT_EQ(empty.m_ucCurDumpData[0], kUnsent);
    EXPECT_EQ(empty.getNumSelectedRows(), 0);
    EXPECT_EQ(sends, 0);

    CProgNameTable unwired;
    unwired.initialize();
    EXPECT_TRUE(unwired.keyPressed(K(K::downKey)));
    EXPECT_EQ(unwired.getLastRowSelected(), 1); // the selection moves all the same
    unwired.cellClicked(5, 1, clickOn(unwired));
}

TEST_F(NavFixture, DragGoesToTheParentAndPressOrReleaseDoNothing)
{
    struct Parent : juce::Component
    {
        int drags = 0;
        void mouseDrag(const juce::MouseEvent&) override { ++drags; }
    } parent;
    parent.addAndMakeVisible(table);
    setSelection(table, {30}, 30);
    forgetSend();
    const auto e = clickOn(table);
    table.mouseDown(e);
    table.mouseDrag(e);
    table.mouseUp(e);
    EXPECT_EQ(parent.drags, 1);
    EXPECT_EQ(selectedRows(table), std::vector<int>{30});
    EXPECT_EQ(rowSent(), -1);
    parent.removeChildComponent(&table);
}
