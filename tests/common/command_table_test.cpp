// The command table both programs share: what every command is called, its
// shortcut, when the Edit commands are enabled, how commands are routed, the
// panel openers and the menus built from the table. What differs per program
// (Quit, Close's shortcut, the File menu's end) is in the mac/ and win/ tests.
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "CProgressDialogComponent.h"
#include "CommandTestSupport.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
using Info = juce::ApplicationCommandInfo;

struct Command
{
    int id;
    const char* shortName;
    const char* description;
    const char* category;
    int key; // 0: none
};

// Close (258) and Quit (261) differ per program.
const Command kSharedCommands[] = {
    {256, "Open...", "Open .ksqx File", "File", 'O'},
    {257, "Save...", "Save .ksqx File", "File", 'S'},
    {259, "Transmit", "Tx to KSQX", "File", 0},
    {260, "Receive", "Rx from KSQX", "File", 0},
    {512, "Cut", "Cut Selection(s)", "Edit", 'X'},
    {513, "Clear", "Clear Selection(s)", "Edit", 'D'},
    {514, "Copy", "Copy Selection(s)", "Edit", 'C'},
    {515, "Paste", "Paste Clipboard", "Edit", 'V'},
    {516, "Insert", "Insert Clipboard", "Edit", 'I'},
    {1024, "MIDI Setup", "Open MIDI Setup", "Option", 0},
    {1025, "Settings", "Open Config Dialog", "Option", 0},
    {1026, "About..", "Open About Dialog", "Option", 0},
};

const int kEditIds[] = {512, 513, 514, 515, 516};

juce::ApplicationCommandTarget::InvocationInfo invocation(int id)
{
    return juce::ApplicationCommandTarget::InvocationInfo(id);
}

// A table of 100 user programs and one library file below them.
std::unique_ptr<CProgNameTable> makeTable() { return makeProgTable({"Lib"}); }

std::vector<bool> editActive(ActionManager& actions)
{
    std::vector<bool> active;
    for (int id : kEditIds)
    {
        Info info(id);
        actions.getCommandInfo(id, info);
        active.push_back((info.flags & Info::isDisabled) == 0);
    }
    return active;
}
} // namespace

//==============================================================================

TEST(CommandTable, EveryCommandsNamesCategoryAndShortcut)
{
    CommandRig rig;
    const auto ids = allCommandIds(rig.actions);
    for (const Command& c : kSharedCommands)
    {
        SCOPED_TRACE(c.shortName);
        EXPECT_NE(std::find(ids.begin(), ids.end(), c.id), ids.end());

        Info info(c.id);
        rig.actions.getCommandInfo(c.id, info);
        EXPECT_EQ(info.commandID, c.id);
        EXPECT_EQ(info.shortName, c.shortName);
        EXPECT_EQ(info.description, c.description);
        EXPECT_EQ(info.categoryName, c.category);
        EXPECT_EQ(info.flags, 0);

        const juce::Array<juce::KeyPress> expected =
            c.key ? juce::Array<juce::KeyPress>{juce::KeyPress(c.key, juce::ModifierKeys::commandModifier, 0)}
                  : juce::Array<juce::KeyPress>{};
        EXPECT_EQ(info.defaultKeypresses, expected);
        EXPECT_EQ(rig.keysOf(c.id), expected) << "the key mappings the main window listens to";
    }
}

TEST(CommandTable, UnknownIdsAreLeftAloneAndNotPerformed)
{
    BoxRecorder boxes;
    CommandRig rig;
    auto table = makeTable();
    rig.actions.setProgNameTable(table.get());
    rig.actions.setMenuEnable(true);

    for (int id : {0, -1, 255, 262, 511, 517, 1023, 1027, 2048})
    {
        SCOPED_TRACE(id);
        Info info(id);
        info.setInfo("mine", "left as it was", "Other", Info::isTicked);
        rig.actions.getCommandInfo(id, info);
        EXPECT_EQ(info.shortName, "mine");
        EXPECT_EQ(info.description, "left as it was");
        EXPECT_EQ(info.categoryName, "Other");
        EXPECT_EQ(info.flags, Info::isTicked);
        EXPECT_TRUE(info.defaultKeypresses.isEmpty());
        EXPECT_FALSE(rig.actions.perform(invocation(id)));
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(table->getNumRows(), 2 * kUserProgCount);
    EXPECT_EQ(rig.actions.getNextCommandTarget(), juce::JUCEApplication::getInstance())
        << "unknown commands go on to the application";
}

TEST(CommandTable, EditCommandsFollowTheTableOnlyOnceMenusAreEnabled)
{
    struct Case
    {
        const char* what;
        bool menuEnable;
        bool cutFlag, insertFlag;
        int anchor; // -1: nothing selected
        std::vector<bool> active; // Cut, Clear, Copy, Paste, Insert
    };
    const std::vector<bool> all(5, true), none(5, false), copyOnly{false, false, true, false, false};
    const Case cases[] = {
        {"before setMenuEnable the table is not asked", false, false, false, 150, all},
        {"nothing painted, clipboard never filled", true, false, false, 5, none},
        {"a selected row painted, clipboard empty", true, true, false, 5, {true, true, true, false, false}},
        {"clipboard filled, nothing painted", true, false, true, 5, {false, false, false, true, true}},
        {"last row of the user area", true, true, true, 99, all},
        {"first library row", true, true, true, 100, copyOnly},
        {"a library row deep down", true, true, true, 150, copyOnly},
        {"nothing selected counts as the user area", true, true, true, -1, all},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ActionManager actions;
        auto table = makeTable();
        actions.setProgNameTable(table.get());
        actions.setMenuEnable(c.menuEnable);
        table->m_bCutEnable = c.cutFlag;
        table->m_bInsertEnable = c.insertFlag;
        if (c.anchor >= 0)
            setSelection(*table, {c.anchor}, c.anchor);
        else
            table->deselectAllRows();
        EXPECT_EQ(editActive(actions), c.active);
    }

    // A target whose table is gone reports the Edit commands active and
    // does not reach for the table.
    ActionManager actions;
    actions.setMenuEnable(true);
    EXPECT_EQ(editActive(actions), all);
    for (int id : kEditIds)
        EXPECT_TRUE(actions.perform(invocation(id))) << id;
}

TEST(CommandTable, CommandsReachTheTable)
{
    BoxRecorder boxes;
    ActionManager actions;
    auto table = makeTable();
    actions.setProgNameTable(table.get());
    actions.setMenuEnable(true);

    setSelection(*table, {3, 4}, 4);
    EXPECT_TRUE(actions.perform(invocation(514)));
    EXPECT_EQ(table->m_aClipboard.size(), 2) << "Copy";

    setSelection(*table, {120}, 120);
    EXPECT_TRUE(actions.perform(invocation(258)));
    EXPECT_EQ(table->getNumRows(), kUserProgCount) << "Close File(s) removes the library rows";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(CommandTable, PasteAsksFirstOnlyWhenTheClipboardDoesNotFit)
{
    struct Case
    {
        int clipboard; // programs copied from rows 10 on
        int anchor;
        bool asked;
        bool answer;
        int pasted; // rows written from the anchor on
    };
    const Case cases[] = {
        {3, 97, false, true, 3}, // fits exactly: no question
        {4, 97, true, false, 0}, // Cancel: nothing changes
        {4, 97, true, true, 3},  // OK: what fits is pasted
        {1, 0, false, true, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.clipboard << " at " << c.anchor << " answer " << c.answer);
        BoxRecorder boxes;
        boxes.answers = {c.answer};
        ActionManager actions;
        auto table = makeTable();
        actions.setProgNameTable(table.get());
        std::vector<int> copied;
        for (int i = 0; i < c.clipboard; ++i)
            copied.push_back(10 + i);
        setSelection(*table, copied, copied.back());
        table->Copy();
        setSelection(*table, {c.anchor}, c.anchor);
        std::vector<std::array<int, kProgParamCount>> before;
        for (int r = 0; r < kUserProgCount; ++r)
            before.push_back(rowValues(*table, r));

        EXPECT_TRUE(actions.perform(invocation(515)));

        if (c.asked)
        {
            ASSERT_EQ(boxes.boxes.size(), 1u);
            const auto& box = boxes.boxes[0];
            EXPECT_EQ(box, okCancelBox(juce::MessageBoxIconType::WarningIcon, "Warning:", "Some Program(s) can't paste. Paste Anyway?", "  OK  ", "Cancel"));
        }
        else
            EXPECT_TRUE(boxes.boxes.empty());

        EXPECT_EQ(table->getNumRows(), 2 * kUserProgCount);
        for (int r = 0; r < kUserProgCount; ++r)
        {
            const int k = r - c.anchor;
            const auto expected = (k >= 0 && k < c.pasted) ? before[(size_t) (10 + k)] : before[(size_t) r];
            ASSERT_EQ(rowValues(*table, r), expected) << "row " << r;
        }
    }
}

//==============================================================================
// Panels

namespace
{
// The four panels as the content component holds them.
struct Panels : ::testing::Test
{
    juce::Component parent;
    std::unique_ptr<CAboutDialogComponent> about = std::make_unique<CAboutDialogComponent>();
    std::unique_ptr<CConfigDialogComponent> config = std::make_unique<CConfigDialogComponent>();
    std::unique_ptr<CMidiSetupComponent> midi = std::make_unique<CMidiSetupComponent>();
    std::unique_ptr<CProgressDialogComponent> progress = std::make_unique<CProgressDialogComponent>();
    ActionManager actions;

    Panels()
    {
        parent.setSize(800, 600);
        for (juce::Component* c : all())
            parent.addChildComponent(c);
        actions.setAboutDialogComponent(about.get());
        actions.setConfigDialogComponent(config.get());
        actions.setMidiSetupComponent(midi.get());
        actions.setProgressDialogComponent(progress.get());
    }
    ~Panels() override { parent.removeAllChildren(); }

    std::vector<juce::Component*> all() { return {about.get(), config.get(), midi.get(), progress.get()}; }

    // Which of about, settings, MIDI setup, progress are visible.
    std::vector<bool> visible()
    {
        std::vector<bool> v;
        for (juce::Component* c : all())
            v.push_back(c->isVisible());
        return v;
    }

    static bool centredIn(const juce::Component& c, const juce::Component& parent)
    {
        return c.getX() == (parent.getWidth() - c.getWidth()) / 2
               && c.getY() == (parent.getHeight() - c.getHeight()) / 2;
    }
};
} // namespace

TEST_F(Panels, EachOpenerHidesTheOtherTwoAtOnceAndShowsItsPanelCentred)
{
    struct Case
    {
        int command;
        juce::Component* panel;
    };
    const Case cases[] = {{1024, midi.get()}, {1025, config.get()}, {1026, about.get()}};
    const int sizeBefore[][2] = {{midi->getWidth(), midi->getHeight()},
                                 {config->getWidth(), config->getHeight()},
                                 {about->getWidth(), about->getHeight()}};
    for (size_t i = 0; i < std::size(cases); ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE(c.command);
        for (juce::Component* p : all())
            p->setVisible(true);
        EXPECT_TRUE(actions.perform(invocation(c.command)));

        for (juce::Component* p : {(juce::Component*) about.get(), (juce::Component*) config.get(),
                                   (juce::Component*) midi.get()})
            EXPECT_EQ(p->isVisible(), p == c.panel) << p->getName();
        EXPECT_TRUE(progress->isVisible()) << "the progress panel stays";
        EXPECT_EQ(c.panel->getWidth(), sizeBefore[i][0]);
        EXPECT_EQ(c.panel->getHeight(), sizeBefore[i][1]);
        EXPECT_TRUE(centredIn(*c.panel, parent)) << c.panel->getBounds().toString();
        EXPECT_EQ(c.panel->getParentComponent(), &parent);
    }

    // The progress panel hides nothing.
    for (juce::Component* p : all())
        p->setVisible(p != progress.get());
    actions.OpenProgressDialog();
    EXPECT_EQ(visible(), (std::vector<bool>{true, true, true, true}));
}

TEST_F(Panels, AboutShowsTheConnectionAsItIsWhenOpened)
{
    for (bool connected : {true, false, true})
    {
        midi->m_bConnected = connected;
        actions.OpenAboutDialog();
        EXPECT_EQ(about->m_bConnected, connected);
    }
    actions.setMidiSetupComponent(nullptr);
    actions.OpenAboutDialog();
    EXPECT_FALSE(about->m_bConnected) << "no device link: not connected";
}

TEST_F(Panels, SettingsKeepACopyOfTheBlockForCancel)
{
    std::fill(std::begin(config->m_ucSavedConfigData), std::end(config->m_ucSavedConfigData), 0xEE);
    actions.OpenConfigDialog();
    EXPECT_TRUE(std::equal(std::begin(config->m_ucConfigData), std::end(config->m_ucConfigData),
                           std::begin(config->m_ucSavedConfigData)));
}

TEST(CommandTablePanels, OpenersWithoutTheirPanelDoNothing)
{
    juce::Component parent;
    CAboutDialogComponent about;
    parent.addChildComponent(about);
    ActionManager actions;
    actions.setAboutDialogComponent(&about);
    about.setVisible(true);

    // Only the about panel is set: the other openers leave it alone.
    for (int id : {1024, 1025})
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(id)));
    actions.OpenProgressDialog();
    actions.updateProgress(50);
    EXPECT_TRUE(about.isVisible());
    parent.removeChildComponent(&about);
}

//==============================================================================
// Menus

TEST(MenuBar, NamesAndTheMenusBuiltFromTheCommandTable)
{
    CommandRig rig;
    EXPECT_EQ(rig.menus.getMenuBarNames(), juce::StringArray({"File", "Edit", "Option"}));

    using Item = CommandRig::MenuItem;
    const auto file = rig.menuItems(0);
    ASSERT_GE(file.size(), 5u);
    EXPECT_EQ(std::vector<Item>(file.begin(), file.begin() + 5),
              (std::vector<Item>{{256, "Open...", true, false},
                                 {257, "Save...", true, false},
                                 {258, "Close File(s)", true, false},
                                 {259, "Transmit", true, false},
                                 {260, "Receive", true, false}}));
    // Before the table is handed over the Edit commands are enabled.
    EXPECT_EQ(rig.menuItems(1), (std::vector<Item>{{512, "Cut", true, false},
                                                   {513, "Clear", true, false},
                                                   {514, "Copy", true, false},
                                                   {515, "Paste", true, false},
                                                   {516, "Insert", true, false}}));
    EXPECT_EQ(rig.menuItems(2), (std::vector<Item>{{1024, "MIDI Setup", true, false},
                                                   {1025, "Settings", true, false},
                                                   {1026, "About..", true, false}}));
    for (int index : {3, -1, 100})
        EXPECT_TRUE(rig.menuItems(index).empty()) << index;
}

TEST(MenuBar, EditItemsGreyWithTheTableState)
{
    CommandRig rig;
    auto table = makeTable();
    rig.actions.setProgNameTable(table.get());
    rig.actions.setMenuEnable(true);

    auto enabled = [&] {
        std::vector<bool> v;
        for (const auto& item : rig.menuItems(1))
            v.push_back(item.enabled);
        return v;
    };
    EXPECT_EQ(enabled(), std::vector<bool>(5, false)) << "nothing painted, clipboard never filled";

    table->m_bCutEnable = true;
    setSelection(*table, {7}, 7);
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, false, false}));
    table->Copy();
    EXPECT_EQ(enabled(), std::vector<bool>(5, true));
    setSelection(*table, {130}, 130);
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, true, false, false}))
        << "a library row: Copy only";
}

TEST(MenuBar, ChoosingAnItemPerformsItsCommandOnce)
{
    BoxRecorder boxes;
    boxes.answers = {false};
    CommandRig rig;
    juce::Component parent;
    CAboutDialogComponent about;
    parent.addChildComponent(about);
    rig.actions.setAboutDialogComponent(&about);

    // What the framework does for a chosen command item; the model's own
    // callback adds nothing.
    rig.menus.menuItemSelected(1026, 2);
    EXPECT_FALSE(about.isVisible());
    EXPECT_TRUE(rig.commands.invokeDirectly(1026, false));
    EXPECT_TRUE(about.isVisible());

    EXPECT_TRUE(rig.commands.invokeDirectly(260, false));
    ASSERT_EQ(boxes.boxes.size(), 1u) << "one Receive question";
    EXPECT_EQ(boxes.boxes[0].title, "Receive:");
    parent.removeChildComponent(&about);
}
