// The progress panel: its look, and when it closes by itself, measured with
// the real timer and the message loop running. Upper bounds are generous for
// a loaded machine; a timer fires early only by the timer thread's round.
#include "ActionManager.h"
#include "CProgressDialogComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
// The panel as the content component holds it: a hidden child of a larger
// component, opened through the command target.
struct OpenPanel : ::testing::Test
{
    juce::Component parent;
    CProgressDialogComponent* panel = new CProgressDialogComponent();
    ActionManager actions;

    OpenPanel()
    {
        parent.setSize(800, 600);
        parent.addChildComponent(panel);
        actions.setProgressDialogComponent(panel);
    }
    ~OpenPanel() override
    {
        parent.removeChildComponent(panel);
        delete panel;
    }

    // Lets the timer thread deliver what it holds: while a callback of its
    // waits for the message loop, its clock runs on and is later taken off
    // every timer, a restarted one included.
    void settle() { pumpMessages(50); }

    // Milliseconds from now until the panel has hidden itself (-1: not
    // within the limit), with the message loop running.
    int msUntilClosed(int limit)
    {
        const auto start = juce::Time::getMillisecondCounter();
        if (!pumpUntil([this] { return !panel->isVisible(); }, limit))
            return -1;
        return (int) (juce::Time::getMillisecondCounter() - start);
    }
};

constexpr int kSlack = 1500; // a loaded machine may deliver a timer late
// The framework's timer thread takes the time since its last round (up to
// 100 ms) off a timer that was just restarted, so a timer may fire that much
// early.
constexpr int kEarly = 150;
} // namespace

TEST(ProgressPanel, BuiltHiddenWithLabelAndBar)
{
    CProgressDialogComponent panel;
    EXPECT_EQ(panel.getWidth(), 240);
    EXPECT_EQ(panel.getHeight(), 69);
    EXPECT_EQ(panel.m_dProgress, 0.0);

    auto* label = panel.m_pTitleLabel;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getName(), "labelTitle");
    EXPECT_EQ(label->getText(), "executing...");
    EXPECT_EQ(label->getFont().getTypefaceName(), "Arial");
    EXPECT_FLOAT_EQ(label->getFont().getHeight(), 17.0f);
    EXPECT_FALSE(label->getFont().isBold());
    EXPECT_EQ(label->getJustificationType().getFlags(), juce::Justification::centred);
    EXPECT_FALSE(label->isEditable());
    EXPECT_EQ(label->findColour(juce::Label::textColourId).getARGB(), 0xff2f2f2fu);
    EXPECT_EQ(label->getBounds(), juce::Rectangle<int>(12, 11, 214, 16));
    EXPECT_TRUE(label->isVisible());

    ASSERT_NE(panel.m_pProgressBar, nullptr);
    EXPECT_EQ(panel.m_pProgressBar->getBounds(), juce::Rectangle<int>(12, 36, 214, 21));
    EXPECT_TRUE(panel.m_pProgressBar->isVisible());
    EXPECT_EQ(panel.getChildComponent(0), label);
    EXPECT_EQ(panel.getChildComponent(1), panel.m_pProgressBar);
}

TEST(ProgressPanel, PaintsGradientBackgroundAndFrame)
{
    CProgressDialogComponent panel;
    juce::Image image(juce::Image::ARGB, 240, 69, true);
    {
        juce::Graphics g(image);
        panel.paint(g);
    }
    auto argb = [&](int x, int y) { return image.getPixelAt(x, y).getARGB(); };
    // The frame lies wholly beyond the linear gradient's second point.
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {239, 68}, {120, 0}, {0, 34}, {238, 67}})
        EXPECT_EQ(argb(x, y), 0xffafafafu) << x << "," << y;
    // The radial gradient is lightest at its centre and darkens outwards.
    const auto centre = image.getPixelAt(24, 16);
    const auto far = image.getPixelAt(230, 60);
    EXPECT_NEAR(centre.getRed(), 0xe9, 2);
    EXPECT_NEAR(far.getRed(), 0xa1, 2);
    EXPECT_EQ(centre.getAlpha(), 0xff);
    EXPECT_NE(argb(2, 2), 0xffafafafu) << "the frame is 2 pixels thick";
}

TEST_F(OpenPanel, OpeningShowsItCentredAtZeroAndHidesNothingElse)
{
    juce::Component other;
    other.setSize(100, 100);
    parent.addAndMakeVisible(other);
    panel->m_dProgress = 0.4;

    actions.OpenProgressDialog();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(other.isVisible());
    EXPECT_EQ(panel->m_dProgress, 0.0);
    EXPECT_EQ(panel->getBounds(), juce::Rectangle<int>(280, 266, 240, 69));
    parent.removeChildComponent(&other);
}

TEST_F(OpenPanel, ReportsReachOnlyAVisiblePanel)
{
    // Hidden: a late report neither shows the panel nor changes its value.
    actions.updateProgress(57);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->m_dProgress, 0.0);

    actions.OpenProgressDialog();
    for (int n : {1, 57, 99, 100})
    {
        actions.updateProgress(n);
        EXPECT_EQ(panel->m_dProgress, n * 0.01) << n;
    }
    EXPECT_EQ(panel->m_dProgress, 1.0) << "100 percent is exactly 1.0";
}

TEST_F(OpenPanel, ClosesHalfASecondAfterCompletionAndResetsTheValue)
{
    actions.OpenProgressDialog();
    settle();
    actions.updateProgress(100);
    const int ms = msUntilClosed(500 + kSlack);
    EXPECT_GE(ms, 500 - kEarly);
    EXPECT_NE(ms, -1) << "still open";
    EXPECT_EQ(panel->m_dProgress, 0.0);

    // Closed: later reports are dropped.
    actions.updateProgress(42);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->m_dProgress, 0.0);
}

TEST_F(OpenPanel, StalledTransferClosesAfterThreeSeconds)
{
    actions.OpenProgressDialog();
    settle();
    actions.updateProgress(57);
    const int ms = msUntilClosed(3000 + kSlack);
    EXPECT_GE(ms, 3000 - kEarly);
    EXPECT_NE(ms, -1) << "still open";
    EXPECT_EQ(panel->m_dProgress, 0.0);
}

TEST_F(OpenPanel, EveryReportRestartsTheCount)
{
    // 100 percent, then another value before the half second is up: the
    // panel now waits the long time from the latest report.
    auto shown = [this] { return panel->isVisible(); };
    actions.OpenProgressDialog();
    actions.updateProgress(100);
    ASSERT_TRUE(holdsFor(shown, 300));
    actions.updateProgress(50);
    EXPECT_TRUE(holdsFor(shown, 1000)) << "the half-second close was cancelled";

    // Reports coming faster than the long delay keep it open beyond it.
    for (int n = 51; n <= 52; ++n)
    {
        ASSERT_TRUE(holdsFor(shown, 1500)) << n;
        actions.updateProgress(n);
    }
    EXPECT_TRUE(holdsFor(shown, 1500)) << "4.3 s after the first report";
    EXPECT_EQ(panel->m_dProgress, 0.52);
}

TEST_F(OpenPanel, ReopeningWhileShownStartsAgainAtZero)
{
    actions.OpenProgressDialog();
    actions.updateProgress(100);
    actions.OpenProgressDialog();
    EXPECT_EQ(panel->m_dProgress, 0.0);
    EXPECT_TRUE(holdsFor([this] { return panel->isVisible(); }, 800)) << "the long delay again, not the short one";
}
