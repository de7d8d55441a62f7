// The order of start-up inside the content component's constructor, seen
// at each moment something happens there: the version box, the MIDI setup
// panel's creation, the opening of the ports and the two identity requests.
// At each one the test writes down what exists so far (children, rows, size,
// command target, menu, and who knows whom), so a part built too early or
// too late shows. The identity requests each come before a pause of 200 ms.
#include "ActionManager.h"
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CMidiSetupComponent.h"
#include "CProgressDialogComponent.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include "DataFolderRedirect.h"
#include "KSPLLibComponent.h"
#include "MenuBarManager.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <new>

namespace
{
const std::vector<juce::uint8> kIdentityRequest = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

std::vector<juce::uint8> bytesOf(const juce::MidiMessage& m)
{
    return std::vector<juce::uint8>(m.getRawData(), m.getRawData() + m.getRawDataSize());
}

// What the constructor has built so far, as a line of text.
juce::String whatExists(const KSPLLibComponent& c)
{
    const juce::Component* table = c.getProgNameTable();
    const juce::Component* about = c.getAboutDialogComponent();
    const juce::Component* settings = c.getConfigDialogComponent();
    const juce::Component* midi = c.getMidiSetupComponent();
    const juce::Component* progress = c.getProgressDialogComponent();
    juce::StringArray children;
    for (auto* child : c.getChildren())
        children.add(child == table      ? "table"
                     : child == about    ? "about"
                     : child == settings ? "settings"
                     : child == midi     ? "midi"
                     : child == progress ? "progress"
                                         : "other");
    juce::String line = children.joinIntoString(" ") + " | " + juce::String(c.getWidth()) + "x"
                        + juce::String(c.getHeight());
    if (c.getProgNameTable() != nullptr)
    {
        auto& t = *c.getProgNameTable();
        line << " | rows " << t.getNumRows() << (t.m_pConfigDialogComponent == settings && settings ? " table>settings" : "")
             << (t.m_pMidiSetupComponent == midi && midi ? " table>midi" : "");
    }
    if (auto* target = c.getActionManager())
    {
        line << " | target";
        if (target->m_pProgNameTable == c.getProgNameTable() && table != nullptr)
            line << " >table";
        if (target->m_pAboutDialogComponent == about && about != nullptr)
            line << " >about";
        if (target->m_pConfigDialogComponent == settings && settings != nullptr)
            line << " >settings";
        if (target->m_pMidiSetupComponent == midi && midi != nullptr)
            line << " >midi";
        if (target->m_pProgressDialogComponent == progress && progress != nullptr)
            line << " >progress";
    }
    if (c.getMenuBarManager() != nullptr)
        line << " | menu";
    if (settings != nullptr && c.getConfigDialogComponent()->m_pProgNameTable == table)
        line << " | settings>table";
    return line;
}
} // namespace

TEST(StartupOrder, EachPartIsBuiltAfterThoseBeforeItAndTheTableFilledLast)
{
    TempFolder tmp;
    ScopedDataFolder data{tmp.get()};
    const juce::File cwd = juce::File::getCurrentWorkingDirectory();
    // A stored window of 900 x 650: the size shows when the settings were applied.
    auto stored = defaultSettingsBlock();
    stored[6] = 90;
    stored[7] = 0;
    stored[8] = 65;
    stored[9] = 0;
    ASSERT_TRUE(data.dataFolder().createDirectory().wasOk());
    ASSERT_TRUE(data.settingsFile().replaceWithData(stored.data(), stored.size()));

    // The component is built in storage whose address is known beforehand, so
    // that each observer can look at what the constructor has made so far.
    void* storage = ::operator new(sizeof(KSPLLibComponent));
    const auto* content = static_cast<const KSPLLibComponent*>(storage);

    std::vector<juce::String> events;
    std::vector<juce::uint32> identityTimes;
    const auto note = [&](const juce::String& what) { events.push_back(what + ": " + whatExists(*content)); };

    CDialogUtil::setBoxHandler([&](const CDialogUtil::Box& box) {
        note("box " + box.title);
        return true;
    });
    KSPLLibComponent::setMidiSetupHook([&](CMidiSetupComponent* link) {
        note("MIDI setup panel");
        const juce::MidiDeviceInfo unit{"Kestrum QX", "unit"};
        link->setDeviceLists({unit}, {unit});
        link->setInputStandIn([&](const juce::String&, bool open) -> juce::MidiInput* {
            if (open)
                note("ports opened");
            return nullptr;
        });
        link->setOutputStandIn([](const juce::String&, bool) {});
        link->setOutputSink([&](const juce::MidiMessage& m) {
            if (bytesOf(m) == kIdentityRequest)
            {
                note("identity request");
                identityTimes.push_back(juce::Time::getMillisecondCounter());
            }
            else
                note("other message");
        });
    });

    auto* built = new (storage) KSPLLibComponent();
    const juce::uint32 finished = juce::Time::getMillisecondCounter();
    CDialogUtil::setBoxHandler(nullptr);
    KSPLLibComponent::setMidiSetupHook(nullptr);
    note("built");

    const juce::String panels = "table about settings midi";
    const juce::String wired = " | rows 0 table>settings | target >table >about >settings >midi";
    const juce::String all = "table about settings midi progress | 900x650 | rows 0 table>settings"
                             " | target >table >about >settings >midi >progress | menu | settings>table";
    const std::vector<juce::String> expected = {
        "box Orlan Kestrum QX Sound Librarian: table | 800x600 | rows 0",
        "MIDI setup panel: " + panels + " | 900x650" + wired + " | menu | settings>table",
        "ports opened: " + all,
        "identity request: " + all,
        "identity request: " + all,
        "built: " + all.replace("rows 0 table>settings", "rows 100 table>settings table>midi"),
    };
    ASSERT_EQ(events.size(), expected.size()) << juce::StringArray(events.data(), (int) events.size()).joinIntoString("\n");
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(events[i], expected[i]);
    if (identityTimes.size() == 2)
    {
        EXPECT_GE(identityTimes[1] - identityTimes[0], 195u);
        EXPECT_GE(finished - identityTimes[1], 195u);
    }

    built->getMidiSetupComponent()->setOutputSink(nullptr);
    built->~KSPLLibComponent();
    ::operator delete(storage);
    cwd.setAsCurrentWorkingDirectory();
}
