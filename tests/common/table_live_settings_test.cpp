// The table reads the settings panel's font size and show/hide flags itself
// while it paints; the panel's controls only change the panel's fields and
// ask for a repaint. Each change must show at the next paint, whatever came
// before it.
#include "CConfigDialogComponent.h"
#include "CProgCellDisplay.h"
#include "CProgNameTable.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <functional>
#include <vector>

namespace
{
constexpr int kGainColumn = 8;        // flag 5, shown by default
constexpr int kPedal1ValueColumn = 4; // flag 1, hidden by default
constexpr int kVolumeColumn = 13;

// The panel and the table wired both ways in one parent, as the content
// component wires them, with the default settings block applied.
class LiveSettings : public ::testing::Test
{
protected:
    LiveSettings()
    {
        parent.setSize(1060, 722);
        parent.addAndMakeVisible(table);
        table.setBounds(parent.getLocalBounds());
        parent.addChildComponent(panel);
        panel.setProgNameTable(&table);
        table.setConfigDialogComponent(&panel);
        panel.initConfigParam();
        panel.getConfigParam();
        table.initialize();
        table.getRecord(0)->setProgParam(7, 123); // VOLUME 12.3
    }

    // A paint of the table as the framework makes it after the panel's
    // repaint, then every message posted during it delivered.
    void paintAndDeliver()
    {
        table.createComponentSnapshot(table.getLocalBounds());
        ASSERT_TRUE(deliverPosted());
    }

    void flip(juce::ToggleButton* toggle) { toggle->setToggleState(!toggle->getToggleState(), juce::sendNotificationSync); }
    void slideTo(double size) { panel.m_pFontSizeSlider->setValue(size, juce::sendNotificationSync); }

    // Whether row 0's VOLUME cell is drawn in a font of this size: the same
    // pixels as the framework's own text drawing at that size.
    bool volumeCellDrawnAt(double size)
    {
        const int w = 50, h = 26;
        juce::Image painted(juce::Image::ARGB, w, h, true);
        {
            juce::Graphics g(painted);
            table.paintCell(g, 0, kVolumeColumn, w, h, false);
        }
        juce::Image expected(juce::Image::ARGB, w, h, true);
        {
            juce::Graphics g(expected);
            g.setFont(juce::Font((float) size, juce::Font::plain));
            g.setColour(juce::Colours::beige);
            g.drawText(CProgCellDisplay::getCellContent(*table.getRecord(0), 0, kVolumeColumn).text, 2, 0, w - 4, h,
                       juce::Justification::centredLeft, true);
            g.setColour(juce::Colours::black.withAlpha(0.2f));
            g.fillRect(w - 1, 0, 1, h);
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (painted.getPixelAt(x, y) != expected.getPixelAt(x, y))
                    return false;
        return true;
    }

    juce::Component parent;
    CProgNameTable table;
    CConfigDialogComponent panel;
};
} // namespace

TEST_F(LiveSettings, EachChangeInThePanelShowsAtTheNextPaint)
{
    // Before the first paint the list has the framework's row height.
    ASSERT_EQ(table.getRowHeight(), 22);

    struct Step
    {
        const char* what;
        std::function<void()> change;
        int rowHeight, headerHeight;
        bool gainShown, pedal1ValueShown;
    };
    const std::vector<Step> steps = {
        {"the first paint, defaults", [] {}, 14, 22, true, false},
        {"font 18.0", [&] { slideTo(18.0); }, 20, 28, true, false},
        {"font back to 12.6", [&] { slideTo(12.6); }, 14, 22, true, false},
        {"font 13.0, inside the band of rows of 14", [&] { slideTo(13.0); }, 14, 22, true, false},
        {"GAIN off", [&] { flip(panel.m_pGainToggle); }, 14, 22, false, false},
        {"pedal 1 Value on", [&] { flip(panel.m_pPedal1ValueToggle); }, 14, 22, false, true},
        {"GAIN on again", [&] { flip(panel.m_pGainToggle); }, 14, 22, true, true},
        {"GAIN off and on before a paint", [&] { flip(panel.m_pGainToggle); flip(panel.m_pGainToggle); }, 14, 22, true, true},
        {"font 24.0 and pedal 1 Value off together",
         [&] { slideTo(24.0); flip(panel.m_pPedal1ValueToggle); }, 26, 34, true, false},
        {"GAIN off at font 24.0", [&] { flip(panel.m_pGainToggle); }, 26, 34, false, false},
    };
    auto& header = table.getHeader();
    const int gainWidth = header.getColumnWidth(kGainColumn);
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.what);
        step.change();
        // The cells take the font size in the very paint that follows.
        EXPECT_TRUE(volumeCellDrawnAt(panel.getTargetFontSize()));
        paintAndDeliver();
        EXPECT_EQ(table.getRowHeight(), step.rowHeight);
        EXPECT_EQ(table.getHeaderHeight(), step.headerHeight);
        EXPECT_EQ(header.isColumnVisible(kGainColumn), step.gainShown);
        EXPECT_EQ(header.isColumnVisible(kPedal1ValueColumn), step.pedal1ValueShown);
        EXPECT_EQ(header.getColumnWidth(kGainColumn), gainWidth);
    }
}
