// The macOS program's commands and menus: no Quit of its own (the
// application menu's belongs to the framework) and no Close shortcut.
#include "CommandTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

TEST(MacCommands, ThirteenIdsWithoutQuit)
{
    ActionManager actions;
    EXPECT_EQ(allCommandIds(actions), (std::vector<int>{256, 257, 258, 259, 260, 512, 513, 514, 515, 516, 1024,
                                                         1025, 1026}));
}

TEST(MacCommands, CloseHasNoShortcutAndQuitIsNoCommand)
{
    BoxRecorder boxes;
    CommandRig rig;
    juce::ApplicationCommandInfo close(258);
    rig.actions.getCommandInfo(258, close);
    EXPECT_EQ(close.shortName, "Close File(s)");
    EXPECT_EQ(close.description, "Close .ksqx File");
    EXPECT_EQ(close.categoryName, "File");
    EXPECT_TRUE(close.defaultKeypresses.isEmpty());
    EXPECT_TRUE(rig.keysOf(258).isEmpty());

    juce::ApplicationCommandInfo quit(261);
    rig.actions.getCommandInfo(261, quit);
    EXPECT_TRUE(quit.shortName.isEmpty());
    EXPECT_EQ(rig.commands.getCommandForID(261), nullptr);
    EXPECT_FALSE(rig.actions.perform(juce::ApplicationCommandTarget::InvocationInfo(261)));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(MacCommands, FileMenuEndsWithReceiveAndNoSeparator)
{
    CommandRig rig;
    const auto file = rig.menuItems(0);
    ASSERT_EQ(file.size(), 5u);
    EXPECT_EQ(file.back(), (CommandRig::MenuItem{260, "Receive", true, false}));
}
