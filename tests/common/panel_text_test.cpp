// The panels' texts as they are drawn with the program's look: "Arial" in
// the face it should be drawn in, in the requested style, titles bold and
// whole, and the progress panel's "executing..." with every glyph row inside
// its label. That face is Arial itself where the machine has it, else
// Liberation Sans (Arial's metrics; setup.sh installs fonts-liberation). Each
// panel is compared with the same panel drawn under the program's look
// changed in one thing: every "Arial" taken straight from the framework's
// font list in that face. ctest runs these twice, each in a process of its
// own, as the program draws (its look set before any text is drawn; the
// framework keeps glyphs of an "Arial" drawn earlier under another look): on
// the machine's fonts, and on font folders in which a copy of Nimbus Sans
// (Arial's widths, other shapes) stands for Arial.
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CLookAndFeel.h"
#include "CMidiSetupComponent.h"
#include "CProgressDialogComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <cstdlib>

namespace
{
// The program's look as the default one for the test's lifetime.
struct ProgramLook : ::testing::Test
{
    CLookAndFeel look;
    ProgramLook()
    {
        juce::LookAndFeel::setDefaultLookAndFeel(&look);
        juce::Typeface::clearTypefaceCache();
    }
    ~ProgramLook() override
    {
        juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
        juce::Typeface::clearTypefaceCache();
    }
};

// The family an "Arial" text must be drawn in on this machine.
juce::String expectedFamily()
{
    return juce::Font::findAllTypefaceNames().contains("Arial") ? "Arial" : "Liberation Sans";
}

// The expected face in the given style, from the framework's font list.
juce::Font expectedFont(const juce::String& style, float height)
{
    const juce::String family = expectedFamily();
    EXPECT_TRUE(juce::Font::findAllTypefaceStyles(family).contains(style))
        << "this machine has no " << family << " " << style << " (fonts-liberation)";
    return juce::Font(juce::Typeface::createSystemTypefaceFor(juce::Font(family, style, height))).withHeight(height);
}

// The program's look with every "Arial" in the expected face.
struct ExpectedFaceLook : CLookAndFeel
{
    juce::Typeface::Ptr getTypefaceForFont(const juce::Font& font) override
    {
        if (font.getTypefaceName() == "Arial")
            return expectedFont(font.getTypefaceStyle(), font.getHeight()).getTypefacePtr();
        return CLookAndFeel::getTypefaceForFont(font);
    }
};

// The glyph cache goes by family, style and height, not by typeface: it is
// emptied around every picture, so that no picture is drawn with glyphs
// made for another.
juce::Image render(juce::Component& c)
{
    juce::Typeface::clearTypefaceCache();
    juce::Image image(juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    {
        juce::Graphics g(image);
        c.paintEntireComponent(g, false);
    }
    juce::Typeface::clearTypefaceCache();
    return image;
}

// Text pixels: dark ones (the texts are black or near it, the panels light).
bool isInk(juce::Colour c) { return c.getBrightness() < 0.45f; }

struct Ink
{
    juce::Rectangle<int> bounds; // of the ink within the area, in image coordinates
    int pixels = 0;
};

Ink inkIn(const juce::Image& image, juce::Rectangle<int> area)
{
    Ink ink;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (isInk(image.getPixelAt(x, y)))
            {
                ink.bounds = ink.pixels == 0 ? juce::Rectangle<int>(x, y, 1, 1)
                                             : ink.bounds.getUnion({x, y, 1, 1});
                ++ink.pixels;
            }
    return ink;
}

// The ink of the text drawn in black on white, in one line without any
// clipping.
Ink freeInk(const juce::String& text, const juce::Font& font)
{
    juce::Image image(juce::Image::ARGB, 400, 60, true);
    {
        juce::Graphics g(image);
        g.fillAll(juce::Colours::white);
        g.setColour(juce::Colours::black);
        g.setFont(font);
        g.drawSingleLineText(text, 10, 40);
    }
    juce::Typeface::clearTypefaceCache();
    return inkIn(image, image.getBounds());
}

int differingPixels(const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
{
    int n = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            n += a.getPixelAt(x, y) != b.getPixelAt(x, y) ? 1 : 0;
    return n;
}

// A panel made and drawn while the given look is the default one.
template <class Panel>
juce::Image drawnUnder(juce::LookAndFeel& look, juce::LookAndFeel& afterwards)
{
    juce::LookAndFeel::setDefaultLookAndFeel(&look);
    juce::Typeface::clearTypefaceCache();
    juce::Image image;
    {
        Panel panel;
        image = render(panel);
    }
    juce::LookAndFeel::setDefaultLookAndFeel(&afterwards);
    return image;
}
} // namespace

TEST_F(ProgramLook, ArialIsTheMachinesArialOrElseLiberationSansInTheRequestedStyle)
{
    // The run on the folders with a stand-in Arial says so: without it
    // this would only repeat the run without Arial.
    if (std::getenv("KSQX_ARIAL_EXPECTED") != nullptr)
        ASSERT_TRUE(juce::Font::findAllTypefaceNames().contains("Arial"))
            << "no Arial in JUCE_FONT_PATH " << juce::SystemStats::getEnvironmentVariable("JUCE_FONT_PATH", "(unset)");
    const juce::String family = expectedFamily();
    for (auto [style, name] : {std::pair {juce::Font::plain, "Regular"}, std::pair {juce::Font::bold, "Bold"}})
    {
        SCOPED_TRACE(name);
        EXPECT_TRUE(juce::Font::findAllTypefaceStyles(family).contains(name)) << family << " " << name << " is missing";
        auto typeface = look.getTypefaceForFont(juce::Font("Arial", 15.0f, style));
        ASSERT_NE(typeface, nullptr);
        EXPECT_EQ(typeface->getName(), family);
        EXPECT_EQ(typeface->getStyle(), name);
    }
}

TEST_F(ProgramLook, TitlesAreInTheExpectedFaceBoldAndWhole)
{
    ExpectedFaceLook expectedLook;
    struct Case
    {
        const char* text;
        juce::Image (*drawn)(juce::LookAndFeel&, juce::LookAndFeel&);
        juce::Rectangle<int> box;
        const char* style;
        float height;
    };
    const Case cases[] = {
        {"MIDI Setup", drawnUnder<CMidiSetupComponent>, {24, 14, 72, 24}, "Bold", 15.0f},
        {"Settings", drawnUnder<CConfigDialogComponent>, {24, 13, 72, 24}, "Bold", 15.0f},
        {"Kestrum QX Sound Librarian", drawnUnder<CAboutDialogComponent>, {16, 96, 208, 24}, "Regular", 17.0f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        const juce::Image shot = c.drawn(look, look);
        const juce::Image want = c.drawn(expectedLook, look);
        const juce::Rectangle<int> around = c.box.expanded(6, 3);
        EXPECT_EQ(differingPixels(shot, want, around), 0)
            << "the title is not drawn in " << expectedFamily() << " " << c.style;

        const Ink got = inkIn(shot, around);
        const Ink whole = freeInk(c.text, expectedFont(c.style, c.height));
        ASSERT_GT(whole.pixels, 50);
        EXPECT_TRUE(c.box.contains(got.bounds)) << "ink " << got.bounds.toString() << " outside the box";
        // Anti-aliased edges may fall either side of the ink threshold on the
        // panel's gradient; a cut or shortened text loses far more.
        EXPECT_NEAR(got.bounds.getWidth(), whole.bounds.getWidth(), 1)
            << "drawn " << got.bounds.toString() << ", whole " << whole.bounds.toString();
        EXPECT_NEAR(got.bounds.getHeight(), whole.bounds.getHeight(), 1)
            << "drawn " << got.bounds.toString() << ", whole " << whole.bounds.toString();
    }
}

TEST_F(ProgramLook, ProgressLabelShowsEveryGlyphRow)
{
    CProgressDialogComponent panel;
    juce::Label& label = *panel.m_pTitleLabel;
    EXPECT_EQ(panel.getWidth(), 240);
    EXPECT_EQ(panel.getHeight(), 69);
    EXPECT_EQ(label.getBounds(), juce::Rectangle<int>(12, 11, 214, 16));
    const juce::Colour textColour(0xff2f2f2f);

    // The rows and columns that a text covers, found against the same
    // picture without the text: a pixel counts when the text's colour covers
    // at least a tenth of it, whatever the background's shade.
    auto covered = [&](const juce::Image& withText, const juce::Image& without) {
        juce::Rectangle<int> bounds;
        bool any = false;
        for (int y = 0; y < withText.getHeight(); ++y)
            for (int x = 0; x < withText.getWidth(); ++x)
            {
                const float bg = without.getPixelAt(x, y).getBrightness();
                const float px = withText.getPixelAt(x, y).getBrightness();
                if (bg - textColour.getBrightness() < 0.2f || (bg - px) / (bg - textColour.getBrightness()) < 0.1f)
                    continue;
                bounds = any ? bounds.getUnion({x, y, 1, 1}) : juce::Rectangle<int>(x, y, 1, 1);
                any = true;
            }
        return bounds;
    };

    // The text's full extent, drawn in its font without any clipping in a
    // tall image.
    juce::Image blank(juce::Image::ARGB, 240, 80, true);
    juce::Graphics(blank).fillAll(juce::Colours::white);
    juce::Image free = blank.createCopy();
    {
        juce::Graphics g(free);
        g.setColour(textColour);
        g.setFont(expectedFont("Regular", 17.0f));
        g.drawText("executing...", 12, 20, 214, 40, juce::Justification::centred, false);
    }
    const juce::Rectangle<int> whole = covered(free, blank);
    ASSERT_GT(whole.getHeight(), 10);

    const juce::Image shot = render(panel);
    label.setText({}, juce::dontSendNotification);
    const juce::Image withoutText = render(panel);
    const juce::Rectangle<int> shown = covered(shot, withoutText);
    EXPECT_TRUE(label.getBounds().contains(shown)) << shown.toString();
    EXPECT_EQ(shown.getHeight(), whole.getHeight())
        << "glyph rows cut off: " << shown.toString() << " of " << whole.toString();
    EXPECT_NEAR(shown.getWidth(), whole.getWidth(), 1) << shown.toString() << " of " << whole.toString();
}
