#pragma once
#include "KsqxJuce.h"

// The about panel: logo, product title, version and whether the unit has
// answered.
class CAboutDialogComponent : public juce::Component, public juce::Button::Listener
{
public:
    CAboutDialogComponent();
    ~CAboutDialogComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void buttonClicked(juce::Button* button) override;

    bool m_bConnected;
    juce::TextButton* m_pOKButton;
    juce::Label* m_pTitleLabel;
    juce::Label* m_pVersionLabel;
    juce::Label* m_pConnectionLabel;
    juce::HyperlinkButton* m_pLogoLink;
    juce::Image m_pLogoImage;

    static const unsigned char logo_png[];
    static const int logo_pngSize;

private:
    JUCE_DECLARE_NON_COPYABLE(CAboutDialogComponent)
};
