// Every panel closes with a 100 ms fade-out and must come back fully opaque
// each time it is opened again, also while the fade is still running.
#include "ActionManager.h"
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CMidiSetupComponent.h"
#include "CProgressDialogComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
// The four panels as the content component holds them, opened through the
// command target.
struct FadedPanels : ::testing::Test
{
    juce::Component parent;
    CAboutDialogComponent about;
    CConfigDialogComponent config;
    CMidiSetupComponent midi;
    CProgressDialogComponent progress;
    ActionManager actions;

    FadedPanels()
    {
        parent.setSize(800, 600);
        for (juce::Component* c : {(juce::Component*) &about, (juce::Component*) &config,
                                   (juce::Component*) &midi, (juce::Component*) &progress})
            parent.addChildComponent(c);
        actions.setAboutDialogComponent(&about);
        actions.setConfigDialogComponent(&config);
        actions.setMidiSetupComponent(&midi);
        actions.setProgressDialogComponent(&progress);
    }
    ~FadedPanels() override
    {
        juce::Desktop::getInstance().getAnimator().cancelAllAnimations(false);
        parent.removeAllChildren();
    }

    struct Opener
    {
        const char* name;
        juce::Component* panel;
        std::function<void()> open;
    };
    std::vector<Opener> openers()
    {
        return {{"MIDI Setup", &midi, [this] { actions.OpenMidiSetupDialog(); }},
                {"Settings", &config, [this] { actions.OpenConfigDialog(); }},
                {"About", &about, [this] { actions.OpenAboutDialog(); }},
                {"Progress", &progress, [this] { actions.OpenProgressDialog(); }}};
    }

    // The framework fades only a panel that is on screen, through an image
    // of it that needs a display. Headless the test runs the same animation
    // on the hidden panel itself: it ends as the fade on screen ends, with
    // the panel's alpha set to 0.
    static void fadeOutAsOnScreen(juce::Component& panel)
    {
        juce::Desktop::getInstance().getAnimator().animateComponent(&panel, panel.getBounds(), 0.0f, 100, false,
                                                                     1.0, 1.0);
        panel.setVisible(false);
    }

    static bool fadeRunning(juce::Component& panel)
    {
        return juce::Desktop::getInstance().getAnimator().isAnimating(&panel);
    }
};
} // namespace

TEST_F(FadedPanels, ShownOpaqueAfterAFinishedFade)
{
    for (const Opener& o : openers())
    {
        SCOPED_TRACE(o.name);
        for (int round = 0; round < 2; ++round)
        {
            o.open();
            ASSERT_TRUE(o.panel->isVisible());
            EXPECT_EQ(o.panel->getAlpha(), 1.0f) << "round " << round;
            fadeOutAsOnScreen(*o.panel);
            ASSERT_TRUE(pumpUntil([&] { return !fadeRunning(*o.panel); }, 3000)) << "the fade never ended";
            ASSERT_FALSE(o.panel->isVisible());
            ASSERT_EQ(o.panel->getAlpha(), 0.0f) << "the fade leaves the panel transparent";
        }
        o.open();
        EXPECT_TRUE(o.panel->isVisible());
        EXPECT_EQ(o.panel->getAlpha(), 1.0f);
        o.panel->setVisible(false);
    }
}

TEST_F(FadedPanels, OpenedAgainWhileTheFadeRunsStaysOpaque)
{
    for (const Opener& o : openers())
    {
        SCOPED_TRACE(o.name);
        o.open();
        fadeOutAsOnScreen(*o.panel);
        // Opened again once the fade has begun to dim it.
        ASSERT_TRUE(pumpUntil([&] { return o.panel->getAlpha() < 1.0f || !fadeRunning(*o.panel); }, 3000));
        ASSERT_TRUE(fadeRunning(*o.panel)) << "the fade ended before the panel was opened again";
        o.open();
        // Long past the fade's 100 ms: nothing may take the panel's alpha.
        EXPECT_TRUE(holdsFor([&] { return o.panel->isVisible() && o.panel->getAlpha() == 1.0f; }, 300));
        EXPECT_FALSE(fadeRunning(*o.panel));
        o.panel->setVisible(false);
    }
}
