#pragma once
#include "KsqxJuce.h"

// The program's look: the classic one (dark text on the panels' light
// backgrounds), with "Arial" drawn in a typeface of Arial's metrics where
// the machine has no Arial.
class CLookAndFeel : public juce::LookAndFeel_V2
{
public:
    CLookAndFeel();

    juce::Typeface::Ptr getTypefaceForFont(const juce::Font& font) override;

    // The family that "Arial" is drawn in on this machine: "Arial" itself
    // when it is installed (always on Windows), else "Liberation Sans" when
    // that is, else "Arial" (the framework's own fallback then applies).
    static juce::String arialFamily();
};
