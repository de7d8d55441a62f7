#pragma once
#include "KsqxJuce.h"
#include "CProgNameTable.h"
#include <atomic>
#include <functional>
#include <vector>

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

    // Test seams: inputs and outputs that are not ports of the system. While
    // one is set, the link calls it in place of opening (and, an input,
    // starting) a port of the device with the given identifier (true) and of
    // stopping and deleting it (false), in the same order. Like the
    // framework's, a stand-in may wait there for a handler run in progress;
    // closing an input must stop all later runs of it.
    using PortStandIn = std::function<void(const juce::String& identifier, bool open)>;
    void setInputStandIn(PortStandIn standIn);
    void setOutputStandIn(PortStandIn standIn);

    // Test seam: device lists in place of the system's, preselected as at
    // construction. Opens and closes nothing.
    void setDeviceLists(const juce::Array<juce::MidiDeviceInfo>& inputs,
                        const juce::Array<juce::MidiDeviceInfo>& outputs);

    // Test seam: sees every progress report (percent, false) and every
    // hand-over of a finished reception (100, true), beside ActionManager.
    using ReportObserver = std::function<void(int percent, bool handOver)>;
    void setReportObserver(ReportObserver observer);

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
    void fillDeviceLists(const juce::Array<juce::MidiDeviceInfo>& inputs,
                         const juce::Array<juce::MidiDeviceInfo>& outputs);
    bool hasOutput() const;
    void sendSysEx(const unsigned char* bytesBetweenF0AndF7, int count);

    bool deferWhilePortsChange(const juce::MidiMessage& message);
    void beginPortChange();
    void endPortChange();
    void openInput(const juce::String& identifier);
    void closeInput(std::unique_ptr<juce::MidiInput>& input, const juce::String& identifier);
    void openOutput(const juce::String& identifier);
    void closeOutput();
    void handleMessage(const juce::MidiMessage& message);
    void handleUnitMessage(const juce::uint8* data, int size);
    void handleProgDump(const juce::uint8* data, int size);
    void handleDataLoadCompleted();
    void reportProgress(int percent);
    void reportHandOver();

    // A reception runs from startRxAllProg until program 99 arrived; it takes
    // only the program it expects next and gathers the programs here, so the
    // receive buffer changes only when all 100 have arrived.
    bool m_bRxAllProg;
    int m_iRxNextProgNo;
    unsigned char m_ucRxGatherData[kProgDumpBlockSize];

    // The devices of the open ports (a real one or a stand-in's), empty
    // while none is open.
    juce::String m_sMidiInputId;
    juce::String m_sMidiOutputId;

    // The handler waits for the message thread through this lock, which the
    // message thread makes give up while the ports change (see openMIDIPort).
    juce::MessageManager::Lock m_messageLock;
    // The mark that the ports are changing, and the system-exclusive
    // messages that arrived meanwhile, in arrival order, for the message
    // thread to handle once the ports are open. The mark is changed and the
    // queue appended to and taken only under m_deferredLock.
    std::atomic<bool> m_bPortsChanging;
    juce::CriticalSection m_deferredLock;
    std::vector<juce::MidiMessage> m_aDeferred;
    int m_iDeferredBytes;

    OutputSink m_outputSink;
    PortStandIn m_inputStandIn;
    PortStandIn m_outputStandIn;
    ReportObserver m_reportObserver;

    JUCE_DECLARE_NON_COPYABLE(CMidiSetupComponent)
};
