// Draws the about panel's logo, the brand word "Orlan" on a badge, and writes
// it as PNG bytes in a C++ source (common/component/CAboutDialogLogo.cpp).
// The image is twice the size at which the panel draws it (139 x 54), so it
// stays sharp when scaled. Build against the project's JUCE library, e.g.
//   g++ -std=c++17 <the project's JUCE defines and include folders> \
//       scripts/make_logo.cpp build/libjuce_static.a <system libs> -o make_logo
//   ./make_logo common/component/CAboutDialogLogo.cpp [preview.png]
#include "KsqxJuce.h"
#include <cstdio>

static juce::Image drawLogo()
{
    const int w = 278, h = 108;
    juce::Image image(juce::Image::ARGB, w, h, true);
    juce::Graphics g(image);

    const juce::Rectangle<float> badge(3.0f, 3.0f, w - 6.0f, h - 6.0f);
    g.setGradientFill(juce::ColourGradient(juce::Colour(0xff2a3f6e), 0.0f, 0.0f, juce::Colour(0xff101a33), 0.0f,
                                           (float) h, false));
    g.fillRoundedRectangle(badge, 18.0f);
    g.setColour(juce::Colour(0xffc9d6f0));
    g.drawRoundedRectangle(badge.reduced(3.0f), 15.0f, 2.0f);

    // A sound wave under the word.
    juce::Path wave;
    wave.startNewSubPath(28.0f, 86.0f);
    for (int x = 28; x <= 250; x += 2)
        wave.lineTo((float) x, 86.0f + 5.0f * std::sin((x - 28) * 0.085f));
    g.setColour(juce::Colour(0xff6fa8ff));
    g.strokePath(wave, juce::PathStrokeType(2.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));

    g.setColour(juce::Colours::white);
    g.setFont(juce::Font("DejaVu Sans", 58.0f, juce::Font::bold));
    g.drawText("Orlan", juce::Rectangle<int>(0, 4, w, 72), juce::Justification::centred, false);
    return image;
}

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3)
    {
        std::fprintf(stderr, "usage: make_logo OUTPUT.cpp [PREVIEW.png]\n");
        return 2;
    }
    juce::ScopedJuceInitialiser_GUI juceInit;

    juce::MemoryOutputStream png;
    juce::PNGImageFormat format;
    if (!format.writeImageToStream(drawLogo(), png))
        return 1;

    juce::String text;
    text << "// The about panel's logo: the brand word \"Orlan\" on a badge, 278 x 108\n"
         << "// pixels, as PNG. Drawn by scripts/make_logo.cpp; run it again to change it.\n"
         << "#include \"CAboutDialogComponent.h\"\n\n"
         << "const unsigned char CAboutDialogComponent::logo_png[] = {";
    const auto* bytes = static_cast<const unsigned char*>(png.getData());
    for (size_t i = 0; i < png.getDataSize(); ++i)
    {
        if (i % 16 == 0)
            text << "\n    ";
        text << (int) bytes[i] << (i + 1 < png.getDataSize() ? "," : "");
    }
    text << "};\n\nconst int CAboutDialogComponent::logo_pngSize = (int) sizeof(CAboutDialogComponent::logo_png);\n";

    if (!juce::File::getCurrentWorkingDirectory().getChildFile(argv[1]).replaceWithText(text))
        return 1;
    if (argc == 3
        && !juce::File::getCurrentWorkingDirectory().getChildFile(argv[2]).replaceWithData(png.getData(),
                                                                                           png.getDataSize()))
        return 1;
    return 0;
}
