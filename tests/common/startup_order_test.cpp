// The order of start-up inside the content component's constructor, recorded
// as it happens: the version box comes before the command target exists and
// before the MIDI ports are opened; the two identity requests come last, each
// followed by a pause of 200 ms, and only then is the table filled.
#include "ActionManager.h"
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "DataFolderRedirect.h"
#include "KSPLLibComponent.h"
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
} // namespace

TEST(StartupOrder, VersionBoxThenCommandTargetThenPortsThenIdentityRequests)
{
    TempFolder tmp;
    ScopedDataFolder data{tmp.get()};
    const juce::File cwd = juce::File::getCurrentWorkingDirectory();

    // The component is built in storage whose address is known beforehand, so
    // that each observer can look at what the constructor has made so far.
    void* storage = ::operator new(sizeof(KSPLLibComponent));
    const auto* content = static_cast<const KSPLLibComponent*>(storage);

    std::vector<juce::String> events;
    std::vector<juce::uint32> identityTimes;
    int rowsAtRequests = -1;
    bool tableAtBox = false;
    const auto noteCommandTarget = [&] {
        if (content->getActionManager() != nullptr
            && std::find(events.begin(), events.end(), "command target") == events.end())
            events.push_back("command target");
    };

    CDialogUtil::setBoxHandler([&](const CDialogUtil::Box& box) {
        noteCommandTarget();
        events.push_back("box " + box.title);
        tableAtBox = content->getProgNameTable() != nullptr && content->getProgNameTable()->getNumRows() == 0
                     && content->getMenuBarManager() == nullptr;
        return true;
    });
    KSPLLibComponent::setMidiSetupHook([&](CMidiSetupComponent* link) {
        noteCommandTarget();
        const juce::MidiDeviceInfo unit{"Kestrum QX", "unit"};
        link->setDeviceLists({unit}, {unit});
        link->setInputStandIn([&](const juce::String&, bool open) {
            if (open)
                events.push_back("ports opened");
        });
        link->setOutputStandIn([](const juce::String&, bool) {});
        link->setOutputSink([&](const juce::MidiMessage& m) {
            if (bytesOf(m) == kIdentityRequest)
            {
                events.push_back("identity request");
                identityTimes.push_back(juce::Time::getMillisecondCounter());
                rowsAtRequests = content->getProgNameTable()->getNumRows();
            }
            else
                events.push_back("other message");
        });
    });

    auto* built = new (storage) KSPLLibComponent();
    const juce::uint32 finished = juce::Time::getMillisecondCounter();
    CDialogUtil::setBoxHandler(nullptr);
    KSPLLibComponent::setMidiSetupHook(nullptr);

    EXPECT_EQ(events, (std::vector<juce::String>{"box Orlan Kestrum QX Sound Librarian", "command target",
                                                  "ports opened", "identity request", "identity request"}));
    EXPECT_TRUE(tableAtBox) << "at the version box the table exists, empty, and there is no menu";
    EXPECT_EQ(rowsAtRequests, 0) << "the table is filled after the identity requests";
    EXPECT_EQ(built->getProgNameTable()->getNumRows(), 100);
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
