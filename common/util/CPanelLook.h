#pragma once
#include "KsqxJuce.h"

// The look the four panels share: a light-grey radial gradient over a base
// fill, a frame in a linear gradient, and dark OK/Cancel buttons.
class CPanelLook
{
public:
    // A button as the panels create it ("new button", empty tooltip), added
    // to the panel with the panel as its listener, in the panels' colours.
    static juce::TextButton* makeButton(juce::Component& panel, juce::Button::Listener& listener,
                                        const juce::String& text);

    // Fills the panel with the base colour, then its w x h with the radial
    // gradient from 0xffe9e9e9 at (24, 16) to 0xffa1a1a1 at the given point,
    // then draws the frame with the linear gradient from dimgrey at
    // frameFrom to 0xffafafaf at frameTo.
    static void paintBackground(juce::Graphics& g, juce::Colour base, int w, int h,
                                juce::Point<float> gradientEnd, int frameThickness,
                                juce::Point<float> frameFrom, juce::Point<float> frameTo);
};
