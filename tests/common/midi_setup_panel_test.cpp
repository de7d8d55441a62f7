// The MIDI setup panel: preselection of the ports, its children and drawing,
// and what OK does. These machines have no MIDI ports, so the device lists
// are empty here; preselection is tested on name lists.
#include "CMidiSetupComponent.h"
#include "EmulatedUnit.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
using Bytes = EmulatedUnit::Bytes;

int brightness(juce::Colour c) { return c.getRed(); } // the panel is grey throughout
} // namespace

TEST(MidiSetupPanel, PreselectsTheLastUnitElseTheFirstDevice)
{
    struct Case
    {
        const char* name;
        juce::StringArray devices;
        int preselected;
    };
    const std::vector<Case> cases = {
        {"no devices: nothing, the list shows (no choices)", {}, -1},
        {"one other device", {"Midi Through Port-0"}, 0},
        {"the unit only", {"Kestrum QX MIDI 1"}, 0},
        {"first and third hold the name", {"Kestrum QX A", "USB Keys", "My Kestrum QX port"}, 2},
        {"unit in the middle", {"USB Keys", "Kestrum QX", "Synth"}, 1},
        {"small letters do not match", {"USB Keys", "kestrum qx"}, 0},
        {"name without the blank", {"KestrumQX", "Synth"}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMidiSetupComponent::preselectIndex(c.devices), c.preselected) << c.name;
}

TEST(MidiSetupPanel, BuildsItsChildrenAtTheirPlaces)
{
    CMidiSetupComponent panel;
    EXPECT_EQ(panel.getWidth(), 320);
    EXPECT_EQ(panel.getHeight(), 170);
    EXPECT_EQ(panel.getNumChildComponents(), 3);

    struct Child
    {
        juce::Component* component;
        const char* name;
        juce::Rectangle<int> bounds;
    };
    for (const auto& c : {Child{panel.m_pOKButton, "new button", {114, 124, 96, 24}},
                          Child{panel.m_pMidiInDeviceCombo, "MidiInDevice", {88, 48, 208, 20}},
                          Child{panel.m_pMidiOutDeviceCombo, "MidiOutDevice", {88, 82, 208, 20}}})
    {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.component, nullptr);
        EXPECT_EQ(c.component->getName(), c.name);
        EXPECT_EQ(c.component->getBounds(), c.bounds);
        EXPECT_TRUE(c.component->isVisible());
        EXPECT_EQ(c.component->getParentComponent(), &panel);
    }

    auto* ok = panel.m_pOKButton;
    EXPECT_EQ(ok->getButtonText(), "OK");
    EXPECT_EQ(ok->getTooltip(), "");
    EXPECT_EQ(ok->findColour(0x1000100), juce::Colour(0xff505050));
    EXPECT_EQ(ok->findColour(0x1000101), juce::Colour(0xff2f2fcb));
    EXPECT_EQ(ok->findColour(0x1000102), juce::Colours::white);

    // No devices on this machine: both lists empty, nothing selected.
    EXPECT_TRUE(panel.m_sMidiInDevices.isEmpty());
    EXPECT_TRUE(panel.m_sMidiOutDevices.isEmpty());
    for (auto* combo : {panel.m_pMidiInDeviceCombo, panel.m_pMidiOutDeviceCombo})
    {
        EXPECT_FALSE(combo->isTextEditable());
        EXPECT_EQ(combo->getJustificationType().getFlags(), 33);
        EXPECT_EQ(combo->getTextWhenNothingSelected(), "");
        EXPECT_EQ(combo->getTextWhenNoChoicesAvailable(), "(no choices)");
        EXPECT_EQ(combo->getNumItems(), 0);
        EXPECT_EQ(combo->getSelectedId(), 0);
    }
}

TEST(MidiSetupPanel, PassesEveryKeyOn)
{
    CMidiSetupComponent panel;
    for (const auto& key : {juce::KeyPress(juce::KeyPress::returnKey), juce::KeyPress(juce::KeyPress::escapeKey),
                            juce::KeyPress(juce::KeyPress::upKey), juce::KeyPress('a')})
        EXPECT_FALSE(panel.keyPressed(key)) << key.getTextDescription();
}

TEST(MidiSetupPanel, DrawsItsBackgroundFrameAndTitles)
{
    CMidiSetupComponent panel;
    juce::Image image(juce::Image::ARGB, 320, 170, true);
    {
        juce::Graphics g(image);
        panel.paint(g);
    }
    // Frame, 5 pixels: light at the top left, dim grey at the bottom right.
    EXPECT_EQ(image.getPixelAt(1, 1), juce::Colour(0xffafafaf));
    EXPECT_EQ(image.getPixelAt(4, 100), juce::Colour(0xffafafaf));
    EXPECT_EQ(image.getPixelAt(318, 168), juce::Colour(0xff696969));
    // Radial background: brightest near (24, 16), darker outwards, 0xffa1a1a1
    // beyond (176, 80).
    EXPECT_EQ(image.getPixelAt(250, 150), juce::Colour(0xffa1a1a1));
    EXPECT_GT(brightness(image.getPixelAt(8, 8)), 0xdc);
    EXPECT_GT(brightness(image.getPixelAt(8, 8)), brightness(image.getPixelAt(100, 40)));
    EXPECT_GT(brightness(image.getPixelAt(100, 40)), brightness(image.getPixelAt(160, 70)));

    // Black text inside each title box and nowhere right of them.
    auto darkPixels = [&](juce::Rectangle<int> area) {
        int n = 0;
        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                n += brightness(image.getPixelAt(x, y)) < 0x40 ? 1 : 0;
        return n;
    };
    EXPECT_GT(darkPixels({24, 14, 72, 24}), 20) << "MIDI Setup";
    EXPECT_GT(darkPixels({24, 46, 56, 24}), 20) << "MIDI In :";
    EXPECT_GT(darkPixels({24, 80, 56, 24}), 20) << "MIDI Out:";
    EXPECT_EQ(darkPixels({96, 5, 219, 160}), 0);
    EXPECT_EQ(darkPixels({5, 110, 310, 55}), 0);
}

// Every OK opens both ports afresh, with the choice changed or not (that is
// how a unit that went away is heard again): the new input is opened and
// started before the old one is closed, so that an input stays open
// throughout; the output is closed and opened again.
TEST(MidiSetupPanel, OkHidesThePanelReopensBothPortsAndAsksForTheUnit)
{
    const juce::MidiDeviceInfo keys{"USB Keys", "keys"}, unit{"Kestrum QX", "unit"};
    std::vector<Bytes> wire;
    std::vector<juce::String> ports; // outlives the panel, which closes its ports when deleted
    CMidiSetupComponent panel;
    panel.setDeviceLists({keys, unit}, {keys, unit});
    panel.setOutputSink([&](const juce::MidiMessage& m) { wire.push_back(EmulatedUnit::toBytes(m)); });
    panel.setInputStandIn([&](const juce::String& id, bool open) -> juce::MidiInput* {
        ports.push_back((open ? "in+ " : "in- ") + id);
        return nullptr;
    });
    panel.setOutputStandIn([&](const juce::String& id, bool open) { ports.push_back((open ? "out+ " : "out- ") + id); });
    panel.openMIDIPort(); // as at start-up: the preselected unit
    EXPECT_EQ(ports, (std::vector<juce::String>{"in+ unit", "out+ unit"}));
    panel.m_bConnected = true;

    juce::TextButton other("other");
    panel.setVisible(true);
    ports.clear();
    panel.buttonClicked(&other);
    panel.comboBoxChanged(panel.m_pMidiInDeviceCombo);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(wire.empty());
    EXPECT_TRUE(ports.empty());

    struct Step
    {
        const char* name;
        juce::MidiDeviceInfo input, output;
        std::vector<juce::String> ports;
    };
    const std::vector<Step> steps = {
        {"nothing changed", unit, unit, {"in+ unit", "in- unit", "out- unit", "out+ unit"}},
        {"another input", keys, unit, {"in+ keys", "in- unit", "out- unit", "out+ unit"}},
        {"the input back, another output", unit, keys, {"in+ unit", "in- keys", "out- unit", "out+ keys"}},
        {"another output only", unit, unit, {"in+ unit", "in- unit", "out- keys", "out+ unit"}},
    };
    for (const auto& step : steps)
    {
        SCOPED_TRACE(step.name);
        EmulatedUnit::choosePorts(panel, step.input, step.output);
        panel.setVisible(true);
        ports.clear();
        wire.clear();
        panel.buttonClicked(panel.m_pOKButton);
        EXPECT_FALSE(panel.isVisible());
        EXPECT_EQ(ports, step.ports);
        ASSERT_EQ(wire.size(), 1u);
        EXPECT_EQ(wire[0], (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
        EXPECT_TRUE(panel.m_bConnected) << "reopening keeps the connected flag";
    }
}
