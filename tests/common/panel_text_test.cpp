// The panels' texts as they are drawn with the program's look: "Arial" in a
// typeface of Arial's metrics with the requested style, titles bold and
// whole, and the progress panel's "executing..." with every glyph row inside
// its label. Pictures are compared with the same texts drawn straight from
// the Liberation Sans font files, which setup.sh installs (fonts-liberation).
// ctest runs these in a process of their own, as the program draws: with its
// look set before any text is drawn. The framework keeps glyphs of an
// "Arial" drawn earlier under another look, even past clearTypefaceCache.
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CLookAndFeel.h"
#include "CMidiSetupComponent.h"
#include "CProgressDialogComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
const char* const kFontFolder = "/usr/share/fonts/truetype/liberation";

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

juce::Font fontFromFile(const char* fileName, float height)
{
    juce::MemoryBlock data;
    const juce::File file = juce::File(kFontFolder).getChildFile(fileName);
    EXPECT_TRUE(file.existsAsFile()) << file.getFullPathName() << " (fonts-liberation) is missing";
    file.loadFileAsData(data);
    auto typeface = juce::Typeface::createSystemTypefaceFor(data.getData(), data.getSize());
    return juce::Font(typeface).withHeight(height);
}

juce::Image render(juce::Component& c)
{
    juce::Image image(juce::Image::ARGB, c.getWidth(), c.getHeight(), true);
    juce::Graphics g(image);
    c.paintEntireComponent(g, false);
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

// The text drawn alone in black on white, in an image of the given size,
// in the given box and justification.
juce::Image reference(int w, int h, const juce::String& text, const juce::Font& font, juce::Rectangle<int> box,
                      juce::Justification justification)
{
    juce::Image image(juce::Image::ARGB, w, h, true);
    juce::Graphics g(image);
    g.fillAll(juce::Colours::white);
    g.setColour(juce::Colours::black);
    g.setFont(font);
    g.drawText(text, box, justification, true);
    return image;
}

// How many pixels are ink in one text and not in the other, the two laid
// over each other by the top left corners of their ink.
int inkDifference(const juce::Image& a, juce::Rectangle<int> inkA, const juce::Image& b, juce::Rectangle<int> inkB)
{
    int n = 0;
    const int w = juce::jmax(inkA.getWidth(), inkB.getWidth()), h = juce::jmax(inkA.getHeight(), inkB.getHeight());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            n += isInk(a.getPixelAt(inkA.getX() + x, inkA.getY() + y))
                         != isInk(b.getPixelAt(inkB.getX() + x, inkB.getY() + y))
                     ? 1
                     : 0;
    return n;
}
} // namespace

TEST_F(ProgramLook, ArialIsLiberationSansInTheRequestedStyle)
{
    ASSERT_FALSE(juce::Font::findAllTypefaceNames().contains("Arial")) << "this machine has Arial itself";
    for (auto [style, name] : {std::pair {juce::Font::plain, "Regular"}, std::pair {juce::Font::bold, "Bold"}})
    {
        auto typeface = look.getTypefaceForFont(juce::Font("Arial", 15.0f, style));
        ASSERT_NE(typeface, nullptr);
        EXPECT_EQ(typeface->getName(), "Liberation Sans");
        EXPECT_EQ(typeface->getStyle(), name);
    }
}

TEST_F(ProgramLook, TitlesAreBoldAndWhole)
{
    CMidiSetupComponent midi;
    CConfigDialogComponent config;
    CAboutDialogComponent about;
    struct Case
    {
        const char* text;
        juce::Component* panel;
        juce::Rectangle<int> box;
        const char* fontFile;
        float height;
    };
    const Case cases[] = {
        {"MIDI Setup", &midi, {24, 14, 72, 24}, "LiberationSans-Bold.ttf", 15.0f},
        {"Settings", &config, {24, 13, 72, 24}, "LiberationSans-Bold.ttf", 15.0f},
        {"Kestrum QX Sound Librarian", &about, {16, 96, 208, 24}, "LiberationSans-Regular.ttf", 17.0f},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        const juce::Image shot = render(*c.panel);
        const juce::Justification justification = c.panel == &about ? juce::Justification::centred
                                                                    : juce::Justification::centredLeft;
        juce::Rectangle<int> textBox = c.box;
        if (c.panel == &about)
            textBox = about.m_pTitleLabel->getBorderSize().subtractedFrom(c.box);
        const juce::Image want = reference(shot.getWidth(), shot.getHeight(), c.text,
                                           fontFromFile(c.fontFile, c.height), textBox, justification);
        const juce::Rectangle<int> around = c.box.expanded(6);
        const Ink got = inkIn(shot, around), wanted = inkIn(want, around);
        ASSERT_GT(wanted.pixels, 50);
        EXPECT_TRUE(c.box.contains(got.bounds)) << "ink " << got.bounds.toString() << " outside the box";
        EXPECT_EQ(got.bounds.getWidth(), wanted.bounds.getWidth());
        EXPECT_EQ(got.bounds.getHeight(), wanted.bounds.getHeight());
        // Anti-aliased edges may fall either side of the ink threshold on
        // the panel's gradient; a regular face instead of a bold one, or
        // another family, changes far more.
        EXPECT_LE(inkDifference(shot, got.bounds, want, wanted.bounds), wanted.pixels / 8)
            << "drawn: " << got.pixels << " ink pixels in " << got.bounds.toString() << ", from the file: "
            << wanted.pixels << " in " << wanted.bounds.toString();
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
        g.setFont(fontFromFile("LiberationSans-Regular.ttf", 17.0f));
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
