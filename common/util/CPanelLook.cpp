#include "CPanelLook.h"

juce::TextButton* CPanelLook::makeButton(juce::Component& panel, juce::Button::Listener& listener,
                                         const juce::String& text)
{
    auto* button = new juce::TextButton("new button", juce::String());
    panel.addAndMakeVisible(button);
    button->setButtonText(text);
    button->addListener(&listener);
    button->setColour(juce::TextButton::buttonColourId, juce::Colour(0xff505050));
    button->setColour(juce::TextButton::buttonOnColourId, juce::Colour(0xff2f2fcb));
    button->setColour(juce::TextButton::textColourOffId, juce::Colours::white);
    return button;
}

void CPanelLook::paintBackground(juce::Graphics& g, juce::Colour base, int w, int h,
                                 juce::Point<float> gradientEnd, int frameThickness,
                                 juce::Point<float> frameFrom, juce::Point<float> frameTo)
{
    g.fillAll(base);
    g.setGradientFill(juce::ColourGradient(juce::Colour(0xffe9e9e9), 24.0f, 16.0f, juce::Colour(0xffa1a1a1),
                                           gradientEnd.x, gradientEnd.y, true));
    g.fillRect(0, 0, w, h);
    g.setGradientFill(juce::ColourGradient(juce::Colours::dimgrey, frameFrom.x, frameFrom.y,
                                           juce::Colour(0xffafafaf), frameTo.x, frameTo.y, false));
    g.drawRect(0, 0, w, h, frameThickness);
}
