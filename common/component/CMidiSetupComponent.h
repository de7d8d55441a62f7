#pragma once
#include "KsqxJuce.h"
#include "CProgNameTable.h"
#include <functional>

class ActionManager;

// The device link (the system-exclusive exchange with the unit) and the MIDI
// setup panel that chooses and opens its ports.
class CMidiSetupComponent : public juce::Component,
                            public juce::MidiInputCallback,
                            public juce::Button::Listener,
                            public juce::ComboBox::Listener
{
public:
    CMidiSetupComponent();
    ~CMidiSetupComponent() override;

    void paint(juce::Graphics& g) override;
    bool keyPressed(const juce::KeyPress& key) override;
    void resized() override;
    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override;
    void buttonClicked(juce::Button* button) override;
    void comboBoxChanged(juce::ComboBox* combo) override;

    void openMIDIPort();
    void sendDevInqRequest();
    void sendProgDumpRequest(int progNo);
    void sendProgDumpOut(int progNo, unsigned char* record);
    void sendCurrentProg(unsigned char* buffer);
    void startTxAllProg();

    // Marks the start of a reception asked for by the user (or start-up):
    // only then are program dumps stored and handed over.
    void startRxAllProg();

    // The preselected position in a device list: the last name containing
    // "Kestrum QX", else the first; -1 for an empty list.
    static int preselectIndex(const juce::StringArray& names);

    // Test seam: while set, every message the senders would hand to the
    // output goes here instead (and the senders act as if an output is open).
    using OutputSink = std::function<void(const juce::MidiMessage&)>;
    void setOutputSink(OutputSink sink);

    int m_iTxProgNo;
    juce::StringArray m_sMidiInDevices;
    juce::StringArray m_sMidiOutDevices;
    std::unique_ptr<juce::MidiInput> m_pMidiInput;
    std::unique_ptr<juce::MidiOutput> m_pMidiOutput;
    bool m_bConnected;
    bool m_bTxAllProg;
    ActionManager* m_pActionManager;
    unsigned char m_ucRxProgData[kProgDumpBlockSize];
    unsigned char m_ucTxProgData[kProgDumpBlockSize];
    juce::TextButton* m_pOKButton;
    juce::ComboBox* m_pMidiInDeviceCombo;
    juce::ComboBox* m_pMidiOutDeviceCombo;

    // The devices behind the list entries, so that a port is opened by the
    // identifier of the entry shown.
    juce::Array<juce::MidiDeviceInfo> m_aMidiInDeviceInfos;
    juce::Array<juce::MidiDeviceInfo> m_aMidiOutDeviceInfos;

private:
    bool hasOutput() const;
    void sendSysEx(const unsigned char* bytesBetweenF0AndF7, int count);

    OutputSink m_outputSink;

    JUCE_DECLARE_NON_COPYABLE(CMidiSetupComponent)
};
