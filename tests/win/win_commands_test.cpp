// What the Windows program's commands and menus have that the macOS
// program's do not: Quit in the File menu, and Control+W for Close File(s).
#include "CommandTestSupport.h"
#include "KSPLLibApp.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

TEST(WinCommands, FourteenIdsWithQuitAfterReceive)
{
    ActionManager actions;
    EXPECT_EQ(allCommandIds(actions),
              (std::vector<int>{256, 257, 258, 259, 260, 261, 512, 513, 514, 515, 516, 1024, 1025, 1026}));
}

TEST(WinCommands, CloseAndQuitHaveControlShortcuts)
{
    CommandRig rig;
    struct Case
    {
        int id;
        const char* shortName;
        const char* description;
        int key;
    };
    for (const Case& c : {Case{258, "Close File(s)", "Close .ksqx File", 'W'}, Case{261, "Quit", "Quit...", 'Q'}})
    {
        SCOPED_TRACE(c.shortName);
        juce::ApplicationCommandInfo info(c.id);
        rig.actions.getCommandInfo(c.id, info);
        EXPECT_EQ(info.shortName, c.shortName);
        EXPECT_EQ(info.description, c.description);
        EXPECT_EQ(info.categoryName, "File");
        EXPECT_EQ(info.flags, 0);
        const juce::KeyPress expected(c.key, juce::ModifierKeys::commandModifier, 0);
        EXPECT_EQ(rig.keysOf(c.id), juce::Array<juce::KeyPress>{expected});
        EXPECT_TRUE(expected.getModifiers().isCtrlDown()) << "Control on Windows and Linux";
    }
}

TEST(WinCommands, FileMenuEndsWithSeparatorAndQuit)
{
    CommandRig rig;
    const auto file = rig.menuItems(0);
    ASSERT_EQ(file.size(), 7u);
    EXPECT_TRUE(file[5].separator);
    EXPECT_EQ(file[6], (CommandRig::MenuItem{261, "Quit", true, false}));
}

namespace
{
// The application object with the framework's quit replaced by a count.
class CountingApp : public KSPLLibApp
{
public:
    void systemRequestedQuit() override { ++quits; }
    int quits = 0;
};
} // namespace

TEST(WinCommands, QuitAsksAndOnlyOKQuitsOnce)
{
    CountingApp app;
    BoxRecorder boxes;
    ActionManager actions;
    const auto quitBox = okCancelBox(juce::MessageBoxIconType::WarningIcon, "Quit:", "Are you sure?", "  OK  ", "Cancel");

    boxes.answers = {false};
    EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(261)));
    EXPECT_EQ(boxes.boxes, std::vector<CDialogUtil::Box>{quitBox});
    EXPECT_EQ(app.quits, 0) << "Cancel keeps the program running";

    boxes.answers = {true};
    EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(261)));
    EXPECT_EQ(boxes.boxes, (std::vector<CDialogUtil::Box>{quitBox, quitBox}));
    EXPECT_EQ(app.quits, 1) << "OK quits, once";
}
