// What the Windows program's commands and menus have that the macOS
// program's do not: Quit in the File menu, and Control+W for Close File(s).
#include "CommandTestSupport.h"
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

TEST(WinCommands, QuitAsksAndCancelKeepsRunning)
{
    BoxRecorder boxes;
    ActionManager actions;
    for (bool answer : {false, true})
    {
        boxes.boxes.clear();
        boxes.answers = {answer};
        // No application object runs in the tests: OK has nobody to tell.
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(261)));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        const auto& box = boxes.boxes[0];
        EXPECT_EQ(box, okCancelBox(juce::MessageBoxIconType::WarningIcon, "Quit:", "Are you sure?", "  OK  ", "Cancel"));
    }
    EXPECT_FALSE(juce::MessageManager::getInstance()->hasStopMessageBeenSent());
}
