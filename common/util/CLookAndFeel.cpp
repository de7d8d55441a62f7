#include "CLookAndFeel.h"

CLookAndFeel::CLookAndFeel() = default;

juce::String CLookAndFeel::arialFamily()
{
#if JUCE_WINDOWS
    return "Arial";
#else
    // Without Arial the framework falls back to its default sans in its
    // first style, so bold texts came out regular and widths changed.
    // Liberation Sans has Arial's metrics and the same styles.
    static const juce::String family = [] {
        const juce::StringArray families = juce::Font::findAllTypefaceNames();
        if (families.contains("Arial") || !families.contains("Liberation Sans"))
            return juce::String("Arial");
        return juce::String("Liberation Sans");
    }();
    return family;
#endif
}

juce::Typeface::Ptr CLookAndFeel::getTypefaceForFont(const juce::Font& font)
{
    if (font.getTypefaceName() == "Arial" && arialFamily() != "Arial")
    {
        juce::Font mapped(font);
        mapped.setTypefaceName(arialFamily());
        mapped.setTypefaceStyle(font.getTypefaceStyle());
        return juce::LookAndFeel_V2::getTypefaceForFont(mapped);
    }
    return juce::LookAndFeel_V2::getTypefaceForFont(font);
}
