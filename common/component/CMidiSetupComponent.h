#pragma once
#include "KsqxJuce.h"
#include "CProgNameTable.h"
#include <functional>
#include <vector>

class ActionManager;

#if JUCE_WINDOWS
 #include "CWinMidiInput.h"
// The framework's WinMM input loses messages (see CWinMidiInput.h): the
// Windows program opens its inputs through its own.
using CSystemMidiInput = CWinMidiInput;
#else
using CSystemMidiInput = juce::MidiInput;
#endif

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

    // Handles at once what the input handler has kept for the message
    // thread, as the message loop does at its next turn. Message thread only.
    void handleArrivedNow();

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
    // one is set, the link calls it instead of opening a port of the device
    // with the given identifier (with true; an input is also started) and
    // instead of stopping and deleting that port (with false), in the same
    // order. Like the framework's, a stand-in may wait there for a delivery
    // in progress; closing an input must stop all later deliveries of it,
    // and closing names the oldest open input of that device. An input's
    // stand-in returns, on opening, the source that its deliveries name
    // (only compared, never dereferenced; null names none).
    using InputStandIn = std::function<juce::MidiInput*(const juce::String& identifier, bool open)>;
    using PortStandIn = std::function<void(const juce::String& identifier, bool open)>;
    void setInputStandIn(InputStandIn standIn);
    void setOutputStandIn(PortStandIn standIn);

    // Test seam: whether a device takes only one open input at a time
    // (WinMM's do; ALSA's and CoreMIDI's take any number). Set for this
    // build's backend at construction.
    void setOneInputPerDevice(bool one);

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
    std::unique_ptr<CSystemMidiInput> m_pMidiInput;
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
    void sendNow(const juce::MidiMessage& message);

    enum class Kind
    {
        Other,
        IdentityReply,
        DataLoadCompleted,
        ProgDump
    };
    static Kind kindOf(const juce::uint8* data, int size);

    void handleArrivedMessages();
    void changePortsWhenQuiet();
    void changePorts();
    void setOnlySource(juce::MidiInput* source);
    void finishPortChange();
    void portChangeTimerCallback();
    bool answerAwaited() const;
    void openInput(const juce::String& identifier);
    void closeInput(std::unique_ptr<CSystemMidiInput>& input, const juce::String& identifier);
    void openOutput(const juce::String& identifier);
    void closeOutput();
    void handleProgDump(const juce::uint8* data);
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

    // What the handler keeps for the message thread: copies of the messages
    // that the exchange acts on, in arrival order (an identity reply only as
    // a mark, since one is as good as many). Taken and appended to only
    // under m_arrivedLock, which is never held longer than a copy or a swap.
    juce::CriticalSection m_arrivedLock;
    std::vector<juce::MidiMessage> m_aArrived;
    int m_iArrivedBytes;
    bool m_bIdentityReplyArrived;
    // While a new input is open beside the old one, only the old one's
    // deliveries are kept (both may reach the unit); null keeps all.
    juce::MidiInput* m_pOnlySource;

    // What the open input's deliveries name as their source.
    juce::MidiInput* m_pInputSource;

    // A dump request or a dump is on the wire and its answer not yet taken.
    bool m_bRxAnswerAwaited;
    bool m_bTxAnswerAwaited;

    // MIDI Setup's OK replaces the ports only while no answer is awaited
    // (see openMIDIPort); until then what the link sends is held here.
    bool m_bPortChangePending;
    std::vector<juce::MidiMessage> m_aHeldSends;
    bool m_bOneInputPerDevice;

    // Calls back on the message thread: the arrived messages, and the port
    // change's timer.
    class Dispatch;
    std::unique_ptr<Dispatch> m_pDispatch;

    OutputSink m_outputSink;
    InputStandIn m_inputStandIn;
    PortStandIn m_outputStandIn;
    ReportObserver m_reportObserver;

    JUCE_DECLARE_NON_COPYABLE(CMidiSetupComponent)
};
