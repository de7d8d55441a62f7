#include "CProgressDialogComponent.h"
#include "CPanelLook.h"

namespace
{
constexpr int kPanelWidth = 240;
constexpr int kPanelHeight = 69;

// The panel closes soon after a finished transfer, and gives a stalled one
// a little time before it gives up showing it.
constexpr int kCloseAfterDoneMs = 500;
constexpr int kCloseAfterStallMs = 3000;
constexpr int kFadeOutMs = 100;
} // namespace

CProgressDialogComponent::CProgressDialogComponent()
    : m_pTitleLabel(nullptr), m_pProgressBar(nullptr), m_dProgress(0.0)
{
    m_pTitleLabel = new juce::Label("labelTitle", "executing...");
    addAndMakeVisible(m_pTitleLabel);
    m_pTitleLabel->setFont(juce::Font("Arial", 17.0f, juce::Font::plain));
    m_pTitleLabel->setJustificationType(juce::Justification(36));
    // The 17 px line is taller than the 16 px label, and its glyphs sit low
    // in it (the descent of "g" reaches the line's foot): centred in the
    // label's upper 13 rows, every glyph row of the text lies inside it.
    m_pTitleLabel->setBorderSize(juce::BorderSize<int>(0, 5, 3, 5));
    m_pTitleLabel->setEditable(false, false, false);
    m_pTitleLabel->setColour(juce::Label::textColourId, juce::Colour(0xff2f2f2f));

    // The bar watches m_dProgress by itself while it is visible.
    m_pProgressBar = new juce::ProgressBar(m_dProgress);
    addAndMakeVisible(m_pProgressBar);

    setSize(kPanelWidth, kPanelHeight);
}

CProgressDialogComponent::~CProgressDialogComponent()
{
    stopTimer();
    delete m_pTitleLabel;
    m_pTitleLabel = nullptr;
    delete m_pProgressBar;
    m_pProgressBar = nullptr;
}

void CProgressDialogComponent::paint(juce::Graphics& g)
{
    CPanelLook::paintBackground(g, juce::Colours::white, kPanelWidth, kPanelHeight, {152.0f, 128.0f}, 2,
                                {288.0f, 280.0f}, {248.0f, 216.0f});
}

void CProgressDialogComponent::resized()
{
    m_pTitleLabel->setBounds(12, 11, 214, 16);
    m_pProgressBar->setBounds(12, 36, 214, 21);
}

void CProgressDialogComponent::setProgress(double p)
{
    // Every report restarts the count, so the panel closes only once the
    // reports stop.
    const int delay = p == 1.0 ? kCloseAfterDoneMs : kCloseAfterStallMs;
    m_uCloseAtMs = juce::Time::getMillisecondCounter() + (juce::uint32) delay;
    startTimer(delay);
    m_dProgress = p;
}

void CProgressDialogComponent::timerCallback()
{
    const auto remaining = (juce::int32) (m_uCloseAtMs - juce::Time::getMillisecondCounter());
    if (remaining > 0)
    {
        startTimer((int) remaining);
        return;
    }
    stopTimer();
    juce::Desktop::getInstance().getAnimator().fadeOut(this, kFadeOutMs);
    m_dProgress = 0.0;
}
