#pragma once
#include "KsqxJuce.h"

// The progress panel: "executing..." over a bar; hides itself 0.5 s after
// 100 % and 3 s after any other report.
class CProgressDialogComponent : public juce::Component, private juce::Timer
{
public:
    CProgressDialogComponent();
    ~CProgressDialogComponent() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void setProgress(double p);

    juce::Label* m_pTitleLabel;
    juce::ProgressBar* m_pProgressBar;
    double m_dProgress;

private:
    void timerCallback() override;

    // When the panel is due to close. The framework's timer thread may fire a
    // just restarted timer early (it counts from its own last round), so the
    // callback checks the clock and waits out what is left.
    juce::uint32 m_uCloseAtMs = 0;

    JUCE_DECLARE_NON_COPYABLE(CProgressDialogComponent)
};
