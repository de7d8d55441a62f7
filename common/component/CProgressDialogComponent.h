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

    JUCE_DECLARE_NON_COPYABLE(CProgressDialogComponent)
};
