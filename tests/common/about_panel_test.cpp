#include "CAboutDialogComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
void paintOnce(juce::Component& c)
{
    juce::Image image(juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    juce::Graphics g(image);
    c.paintEntireComponent(g, false);
}
} // namespace

TEST(AboutPanel, ConnectionAndVersionTextsFollowPaint)
{
    CAboutDialogComponent panel;
    EXPECT_EQ(panel.m_pVersionLabel->getText(), "version 0.0");
    EXPECT_EQ(panel.m_pConnectionLabel->getText(), "Target : Connected");
    EXPECT_EQ(panel.m_pTitleLabel->getText(), "Kestrum QX Sound Librarian");

    struct Step
    {
        bool connected;
        const char* text;
    };
    for (const Step& s : {Step {false, "Target : Not Connected"}, Step {true, "Target : Connected"},
                          Step {false, "Target : Not Connected"}})
    {
        panel.m_bConnected = s.connected;
        EXPECT_NE(panel.m_pConnectionLabel->getText(), s.text) << "only paint shows the copied flag";
        paintOnce(panel);
        EXPECT_EQ(panel.m_pConnectionLabel->getText(), s.text);
        EXPECT_EQ(panel.m_pVersionLabel->getText(), "version 1.0.0");
    }
}

TEST(AboutPanel, ChildrenAtTheirPlaces)
{
    CAboutDialogComponent panel;
    EXPECT_EQ(panel.getWidth(), 240);
    EXPECT_EQ(panel.getHeight(), 300);
    ASSERT_EQ(panel.getNumChildComponents(), 5);
    EXPECT_EQ(panel.getChildComponent(4), panel.m_pLogoLink) << "the link lies on top";

    auto* ok = panel.m_pOKButton;
    EXPECT_EQ(ok->getName(), "new button");
    EXPECT_EQ(ok->getButtonText(), "OK");
    EXPECT_EQ(ok->getBounds(), juce::Rectangle<int>(72, 224, 96, 24));
    EXPECT_EQ(ok->findColour(juce::TextButton::buttonColourId), juce::Colour(0xff505050));
    EXPECT_EQ(ok->findColour(juce::TextButton::buttonOnColourId), juce::Colour(0xff2f2fcb));
    EXPECT_EQ(ok->findColour(juce::TextButton::textColourOffId), juce::Colours::white);

    struct LabelCase
    {
        juce::Label* label;
        const char* name;
        juce::Rectangle<int> bounds;
        float height;
        juce::uint32 colour;
    };
    for (const LabelCase& c :
         {LabelCase {panel.m_pTitleLabel, "labelTitle", {16, 96, 208, 24}, 17.0f, 0xff2f2f2f},
          LabelCase {panel.m_pVersionLabel, "labelVersion", {72, 120, 96, 24}, 14.2f, 0xff020202},
          LabelCase {panel.m_pConnectionLabel, "labelConnection", {8, 168, 224, 24}, 13.6f, 0xff000000}})
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.label->getName(), c.name);
        EXPECT_EQ(c.label->getBounds(), c.bounds);
        EXPECT_FLOAT_EQ(c.label->getFont().getHeight(), c.height);
        EXPECT_EQ(c.label->getFont().getTypefaceName(), "Arial");
        EXPECT_EQ(c.label->getJustificationType().getFlags(), 36);
        EXPECT_FALSE(c.label->isEditableOnSingleClick() || c.label->isEditableOnDoubleClick());
        EXPECT_EQ(c.label->findColour(juce::Label::textColourId), juce::Colour(c.colour));
    }

    auto* link = panel.m_pLogoLink;
    EXPECT_EQ(link->getButtonText(), "Orlan");
    EXPECT_EQ(link->getName(), "Orlan");
    EXPECT_EQ(link->getBounds(), juce::Rectangle<int>(48, 24, 144, 56));
    EXPECT_EQ(link->getURL().toString(false), link->getTooltip());
    EXPECT_TRUE(link->getTooltip().startsWith("https://"));
    EXPECT_EQ(link->findColour(juce::HyperlinkButton::textColourId).getAlpha(), 0) << "the link text is invisible";
}

TEST(AboutPanel, LogoDecodesAndIsDrawnInItsRectangle)
{
    CAboutDialogComponent panel;
    ASSERT_TRUE(panel.m_pLogoImage.isValid());
    EXPECT_GE(panel.m_pLogoImage.getWidth(), 139);
    EXPECT_GE(panel.m_pLogoImage.getHeight(), 54);

    juce::Image image(juce::Image::ARGB, 240, 300, true);
    {
        juce::Graphics g(image);
        panel.paint(g);
    }
    // Inside the logo's rectangle the logo's dark badge, outside it the
    // panel's light background.
    EXPECT_LT(image.getPixelAt(60, 70).getBrightness(), 0.35f);
    EXPECT_GT(image.getPixelAt(30, 90).getBrightness(), 0.6f);
    EXPECT_EQ(image.getPixelAt(1, 1).getARGB(), 0xffafafafu) << "frame";
}

TEST(AboutPanel, OkHidesThePanel)
{
    juce::Component parent;
    parent.setSize(400, 400);
    CAboutDialogComponent panel;
    parent.addAndMakeVisible(panel);

    panel.buttonClicked(panel.m_pLogoLink); // any other button does nothing
    EXPECT_TRUE(panel.isVisible());

    panel.m_pOKButton->triggerClick();
    EXPECT_TRUE(pumpUntil([&] { return !panel.isVisible(); }, 5000));
}
