#include "CConfigDialogComponent.h"
#include "CProgNameTable.h"
#include "DataFolderRedirect.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
// The panel in the content component beside the table, with the default
// settings applied and a settings file in a temporary data folder.
class SettingsPanel : public ::testing::Test
{
protected:
    SettingsPanel() : redirect(temp.get())
    {
        parent.setSize(1060, 722);
        parent.addAndMakeVisible(table);
        table.setBounds(0, 0, 1060, 722);
        parent.addChildComponent(panel);
        panel.setProgNameTable(&table);
        panel.initConfigParam();
        file = CConfigDialogComponent::getSettingsFile();
        CConfigDialogComponent::writeSettingsFile(file, panel.m_ucConfigData);
        panel.getConfigParam();
        EXPECT_TRUE(deliverPosted());
    }

    void open()
    {
        panel.pushConfigParam();
        panel.setVisible(true);
    }
    void click(juce::Button* b)
    {
        b->triggerClick();
        ASSERT_TRUE(deliverPosted());
    }
    juce::MemoryBlock fileBytes() const
    {
        juce::MemoryBlock m;
        file.loadFileAsData(m);
        return m;
    }

    TempFolder temp;
    ScopedDataFolder redirect;
    juce::Component parent;
    CProgNameTable table;
    CConfigDialogComponent panel;
    juce::File file;
};

struct SToggleCase
{
    juce::ToggleButton* CConfigDialogComponent::*member;
    const char* text;
    int x, y;
    int flag;
};
const SToggleCase kToggles[24] = {
    {&CConfigDialogComponent::m_pPedal1Toggle, "PEDAL1", 30, 82, 0},
    {&CConfigDialogComponent::m_pPedal1ValueToggle, "Value", 40, 100, 1},
    {&CConfigDialogComponent::m_pPedal2Toggle, "PEDAL2", 30, 120, 2},
    {&CConfigDialogComponent::m_pPedal2ValueToggle, "Value", 40, 136, 3},
    {&CConfigDialogComponent::m_pGainToggle, "GAIN", 125, 100, 5},
    {&CConfigDialogComponent::m_pVolumeToggle, "VOLUME", 125, 180, 6},
    {&CConfigDialogComponent::m_pTrebleToggle, "TREBLE", 125, 116, 7},
    {&CConfigDialogComponent::m_pMiddleToggle, "MIDDLE", 125, 132, 8},
    {&CConfigDialogComponent::m_pBassToggle, "BASS", 125, 148, 9},
    {&CConfigDialogComponent::m_pPresenceToggle, "PRESENCE", 125, 164, 10},
    {&CConfigDialogComponent::m_pNRToggle, "NR", 115, 220, 11},
    {&CConfigDialogComponent::m_pCabinetToggle, "CABINET", 115, 200, 12},
    {&CConfigDialogComponent::m_pReverbToggle, "REVERB", 208, 224, 13},
    {&CConfigDialogComponent::m_pReverbLevelToggle, "Level", 218, 240, 14},
    {&CConfigDialogComponent::m_pModulationToggle, "MODULATION", 208, 82, 15},
    {&CConfigDialogComponent::m_pDepthToggle, "Depth", 218, 100, 16},
    {&CConfigDialogComponent::m_pResoToggle, "Reso", 218, 116, 17},
    {&CConfigDialogComponent::m_pSpeedToggle, "Speed", 218, 132, 18},
    {&CConfigDialogComponent::m_pDelayToggle, "DELAY", 208, 152, 19},
    {&CConfigDialogComponent::m_pDelayLevelToggle, "Level", 218, 170, 20},
    {&CConfigDialogComponent::m_pFBackToggle, "FBack", 218, 188, 21},
    {&CConfigDialogComponent::m_pTimeToggle, "Time", 218, 204, 22},
    {&CConfigDialogComponent::m_pExpressionToggle, "EXPRESSOIN", 30, 240, 23},
    {&CConfigDialogComponent::m_pAmpToggle, "AMP/PEDAL", 115, 82, 4}};
} // namespace

TEST_F(SettingsPanel, ControlsAtTheirPlacesWithTheirTexts)
{
    EXPECT_EQ(panel.getBounds().getWidth(), 320);
    EXPECT_EQ(panel.getHeight(), 320);
    ASSERT_EQ(panel.getNumChildComponents(), 28);

    // Children in the order they were added: the later lies on top.
    EXPECT_EQ(panel.getChildComponent(0), panel.m_pOKButton);
    EXPECT_EQ(panel.getChildComponent(1), panel.m_pFontSizeSlider);
    EXPECT_EQ(panel.getChildComponent(2), panel.m_pShowHideGroup);
    EXPECT_EQ(panel.getChildComponent(27), panel.m_pCancelButton);

    struct Button
    {
        juce::TextButton* b;
        const char* text;
        juce::Rectangle<int> bounds;
    };
    for (const Button& c : {Button {panel.m_pOKButton, "OK", {56, 280, 88, 24}},
                            Button {panel.m_pCancelButton, "Cancel", {168, 280, 88, 24}}})
    {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.b->getButtonText(), c.text);
        EXPECT_EQ(c.b->getName(), "new button");
        EXPECT_EQ(c.b->getBounds(), c.bounds);
        EXPECT_EQ(c.b->findColour(juce::TextButton::buttonColourId), juce::Colour(0xff505050));
        EXPECT_EQ(c.b->findColour(juce::TextButton::buttonOnColourId), juce::Colour(0xff2f2fcb));
        EXPECT_EQ(c.b->findColour(juce::TextButton::textColourOffId), juce::Colours::white);
        EXPECT_TRUE(c.b->isVisible());
    }

    auto* slider = panel.m_pFontSizeSlider;
    EXPECT_EQ(slider->getName(), "FontSizeSlider");
    EXPECT_EQ(slider->getBounds(), juce::Rectangle<int>(96, 35, 200, 24));
    EXPECT_EQ(slider->getMinimum(), 7.0);
    EXPECT_EQ(slider->getMaximum(), 24.0);
    EXPECT_EQ(slider->getInterval(), 0.2);
    EXPECT_EQ(slider->getSliderStyle(), juce::Slider::LinearHorizontal);
    EXPECT_EQ(slider->getTextBoxPosition(), juce::Slider::TextBoxLeft);
    EXPECT_TRUE(slider->isTextBoxEditable());
    EXPECT_EQ(slider->getTextBoxWidth(), 60);
    EXPECT_EQ(slider->getTextBoxHeight(), 20);

    auto* group = panel.m_pShowHideGroup;
    EXPECT_EQ(group->getName(), "new group");
    EXPECT_EQ(group->getText(), "Show/Hide");
    EXPECT_EQ(group->getBounds(), juce::Rectangle<int>(16, 62, 288, 207));
    EXPECT_EQ(group->getTextLabelPosition().getFlags(), 33);

    for (int i = 0; i < 24; ++i)
    {
        const auto& c = kToggles[i];
        SCOPED_TRACE(c.text);
        juce::ToggleButton* t = panel.*c.member;
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(panel.getChildComponent(3 + i), t) << "created in table order";
        EXPECT_EQ(t->getName(), "toggleButton");
        EXPECT_EQ(t->getButtonText(), c.text);
        EXPECT_EQ(t->getBounds(), juce::Rectangle<int>(c.x, c.y, 80, 22));
        // Toggle and live flag agree; the default settings hide 9 columns.
        EXPECT_EQ(t->getToggleState(), panel.m_bColumnVisible[c.flag]);
    }
    int off = 0;
    for (const auto& c : kToggles)
        off += !(panel.*c.member)->getToggleState();
    EXPECT_EQ(off, 9);

    EXPECT_FALSE(panel.keyPressed(juce::KeyPress(juce::KeyPress::upKey)));
    EXPECT_FALSE(panel.keyPressed(juce::KeyPress('s', juce::ModifierKeys::commandModifier, 0)));
}

TEST_F(SettingsPanel, PaintsBackgroundFrameAndTexts)
{
    juce::Image image(juce::Image::ARGB, 320, 320, true);
    {
        juce::Graphics g(image);
        panel.paint(g);
    }
    // The frame far from its dark corner is the light grey of the gradient.
    EXPECT_EQ(image.getPixelAt(1, 1).getARGB(), 0xffafafafu);
    // Near the gradient's centre the background is almost its centre colour.
    const auto centre = image.getPixelAt(24, 60);
    EXPECT_GT(centre.getRed(), 0xc0);
    // "Settings" and "Font Size :" leave dark pixels in their boxes.
    auto darkIn = [&](juce::Rectangle<int> r) {
        for (int y = r.getY(); y < r.getBottom(); ++y)
            for (int x = r.getX(); x < r.getRight(); ++x)
                if (image.getPixelAt(x, y).getBrightness() < 0.3f)
                    return true;
        return false;
    };
    EXPECT_TRUE(darkIn({24, 13, 72, 24}));
    EXPECT_TRUE(darkIn({32, 35, 56, 24}));
}

TEST_F(SettingsPanel, SliderAndTogglesTakeEffectAtOnceAndLeaveTheFile)
{
    open();
    const auto before = fileBytes();

    panel.m_pFontSizeSlider->setValue(15.6, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ(panel.getTargetFontSize(), 15.6);

    for (const auto& c : kToggles)
    {
        SCOPED_TRACE(c.text);
        juce::ToggleButton* t = panel.*c.member;
        const bool was = t->getToggleState();
        click(t);
        EXPECT_EQ(t->getToggleState(), !was);
        EXPECT_EQ(panel.m_bColumnVisible[c.flag], !was);
        click(t);
        EXPECT_EQ(panel.m_bColumnVisible[c.flag], was);
    }
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(SettingsPanel, OkWritesTheSettingsInForceAndHides)
{
    open();
    panel.m_pFontSizeSlider->setValue(9.4, juce::sendNotificationSync);
    click(panel.m_pPresenceToggle); // column 12 shown
    table.getHeader().setColumnWidth(7, 180);
    parent.setSize(900, 600);

    click(panel.m_pOKButton);
    EXPECT_FALSE(panel.isVisible());
    const auto bytes = fileBytes();
    ASSERT_EQ(bytes.getSize(), (size_t) kConfigDataSize);
    const auto* b = static_cast<const unsigned char*>(bytes.getData());
    EXPECT_EQ(memcmp(b, "KSQC", 4), 0);
    EXPECT_EQ(b[4], 9);
    EXPECT_EQ(b[5], 4);
    EXPECT_EQ(b[6], 90);
    EXPECT_EQ(b[7], 2);
    EXPECT_EQ(b[8], 62);
    EXPECT_EQ(b[9], 6);
    EXPECT_EQ(b[16 + 12 - 3], 1);
    EXPECT_EQ(b[40 + 7 - 1], 180);
}

TEST_F(SettingsPanel, CancelRestoresTheStateAtOpeningAndWritesNothing)
{
    open();
    const auto before = fileBytes();
    const double font = panel.m_dFontSize;
    bool flags[24];
    memcpy(flags, panel.m_bColumnVisible, sizeof(flags));

    panel.m_pFontSizeSlider->setValue(20.0, juce::sendNotificationSync);
    click(panel.m_pGainToggle);
    click(panel.m_pNRToggle);
    click(panel.m_pExpressionToggle);
    table.getHeader().setColumnWidth(3, 150);
    table.getHeader().setColumnWidth(1, 100);

    click(panel.m_pCancelButton);
    EXPECT_FALSE(panel.isVisible());
    ASSERT_TRUE(deliverPosted()); // the slider's report
    EXPECT_NEAR(panel.getTargetFontSize(), font, 1e-9);
    EXPECT_NEAR(panel.m_pFontSizeSlider->getValue(), font, 1e-9);
    for (const auto& c : kToggles)
    {
        EXPECT_EQ(panel.m_bColumnVisible[c.flag], flags[c.flag]) << c.text;
        EXPECT_EQ((panel.*c.member)->getToggleState(), flags[c.flag]) << c.text;
    }
    EXPECT_EQ(table.getHeader().getColumnWidth(3), 69);
    EXPECT_EQ(table.getHeader().getColumnWidth(1), 30);
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(SettingsPanel, OpeningAgainTakesANewCopyForCancel)
{
    open();
    click(panel.m_pGainToggle); // off
    panel.m_pFontSizeSlider->setValue(10.0, juce::sendNotificationSync);
    open(); // second opening while open
    click(panel.m_pBassToggle); // off
    panel.m_pFontSizeSlider->setValue(18.0, juce::sendNotificationSync);

    click(panel.m_pCancelButton);
    ASSERT_TRUE(deliverPosted()); // the slider's report
    EXPECT_FALSE(panel.m_bColumnVisible[5]) << "GAIN stays as at the second opening";
    EXPECT_TRUE(panel.m_bColumnVisible[9]) << "BASS back on";
    EXPECT_NEAR(panel.getTargetFontSize(), 10.0, 1e-9);
}
