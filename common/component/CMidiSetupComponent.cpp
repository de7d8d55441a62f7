#include "CMidiSetupComponent.h"
#include "CPanelLook.h"
#include "ActionManager.h"
#include <cstring>
#include <utility>

namespace
{
// Bytes between F0 and F7 of the messages the link sends.
const unsigned char kDevInqRequest[] = {0x7E, 0x7F, 0x06, 0x01};
const unsigned char kProgDumpRequestHead[] = {0x42, 0x30, 0x00, 0x01, 0x10, 0x1C, 0x20};

// Wire bytes 1 to 7 of the unit's identity reply that are compared: universal
// non-real-time, device 00, identity reply, manufacturer 42, family 10 01.
const juce::uint8 kIdentityReply[] = {0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01};
// Wire bytes 1 to 5 of every other message of the unit; byte 6 is the function.
const juce::uint8 kUnitHeader[] = {0x42, 0x30, 0x00, 0x01, 0x10};
constexpr juce::uint8 kFuncDataLoadCompleted = 0x23;
constexpr juce::uint8 kFuncProgDump = 0x4C;
constexpr juce::uint8 kFuncProgDumpRequest = 0x1C;

constexpr int kLastProgNo = kUserProgCount - 1;

// What the handler keeps for the message thread at most. Only the unit's
// answers fill it, and a transfer has one outstanding at a time.
constexpr int kArrivedBytesMax = 64 * 1024;

// How long MIDI Setup's OK waits for an answer already asked for before it
// replaces the ports anyway (a unit that went away never answers).
constexpr int kQuietWaitMs = 2000;

// A WinMM input device can be open only once at a time.
#if JUCE_WINDOWS
constexpr bool kOneInputPerDevice = true;
#else
constexpr bool kOneInputPerDevice = false;
#endif

// True when the message holds the given bytes from wire byte 1 on; never
// reads past the end of the message.
bool matchesFromByte1(const juce::uint8* data, int size, const juce::uint8* expected, int count)
{
    if (size < 1 + count)
        return false;
    return std::memcmp(data + 1, expected, (size_t) count) == 0;
}

const juce::Colour kTextColour = juce::Colours::black;
const juce::Justification kTextJustification(33); // centred vertically, left-aligned
} // namespace

class CMidiSetupComponent::Dispatch : public juce::AsyncUpdater, public juce::Timer
{
public:
    explicit Dispatch(CMidiSetupComponent& link) : m_link(link) {}
    ~Dispatch() override
    {
        cancelPendingUpdate();
        stopTimer();
    }
    void handleAsyncUpdate() override { m_link.handleArrivedMessages(); }
    void timerCallback() override
    {
        stopTimer();
        m_link.portChangeTimerCallback();
    }

private:
    CMidiSetupComponent& m_link;
};

CMidiSetupComponent::CMidiSetupComponent()
    : m_iTxProgNo(0), m_bConnected(false), m_bTxAllProg(false), m_pActionManager(nullptr), m_ucRxProgData(),
      m_ucTxProgData(), m_pOKButton(nullptr), m_pMidiInDeviceCombo(nullptr), m_pMidiOutDeviceCombo(nullptr),
      m_bRxAllProg(false), m_iRxNextProgNo(0), m_ucRxGatherData(), m_iArrivedBytes(0),
      m_bIdentityReplyArrived(false), m_pOnlySource(nullptr), m_pInputSource(nullptr), m_bRxAnswerAwaited(false), m_bTxAnswerAwaited(false),
      m_bPortChangePending(false), m_bOneInputPerDevice(kOneInputPerDevice),
      m_pDispatch(std::make_unique<Dispatch>(*this))
{
    m_pOKButton = CPanelLook::makeButton(*this, *this, "OK");

    auto makeDeviceList = [this](const juce::String& name) {
        auto* combo = new juce::ComboBox(name);
        addAndMakeVisible(combo);
        combo->setEditableText(false);
        combo->setJustificationType(kTextJustification);
        combo->setTextWhenNothingSelected(juce::String());
        combo->setTextWhenNoChoicesAvailable("(no choices)");
        combo->addListener(this);
        return combo;
    };
    m_pMidiInDeviceCombo = makeDeviceList("MidiInDevice");
    m_pMidiOutDeviceCombo = makeDeviceList("MidiOutDevice");

    setSize(320, 170);
    m_bConnected = false;
    m_bTxAllProg = false;

    fillDeviceLists(juce::MidiInput::getAvailableDevices(), juce::MidiOutput::getAvailableDevices());
}

void CMidiSetupComponent::fillDeviceLists(const juce::Array<juce::MidiDeviceInfo>& inputs,
                                          const juce::Array<juce::MidiDeviceInfo>& outputs)
{
    auto fill = [](juce::ComboBox& combo, const juce::Array<juce::MidiDeviceInfo>& infos, juce::StringArray& names) {
        for (int i = 0; i < infos.size(); ++i)
        {
            names.add(infos[i].name);
            combo.addItem(infos[i].name, i + 1);
        }
        const int preselected = preselectIndex(names);
        if (preselected >= 0)
            combo.setSelectedId(preselected + 1, juce::sendNotification);
    };
    m_aMidiInDeviceInfos = inputs;
    fill(*m_pMidiInDeviceCombo, m_aMidiInDeviceInfos, m_sMidiInDevices);
    m_aMidiOutDeviceInfos = outputs;
    fill(*m_pMidiOutDeviceCombo, m_aMidiOutDeviceInfos, m_sMidiOutDevices);
}

void CMidiSetupComponent::setDeviceLists(const juce::Array<juce::MidiDeviceInfo>& inputs,
                                         const juce::Array<juce::MidiDeviceInfo>& outputs)
{
    m_pMidiInDeviceCombo->clear(juce::dontSendNotification);
    m_pMidiOutDeviceCombo->clear(juce::dontSendNotification);
    m_sMidiInDevices.clear();
    m_sMidiOutDevices.clear();
    fillDeviceLists(inputs, outputs);
}

CMidiSetupComponent::~CMidiSetupComponent()
{
    // Once the input is closed nothing is delivered any more, so the
    // dispatcher (and with it any update still pending) can go.
    m_pDispatch->stopTimer();
    closeInput(m_pMidiInput, m_sMidiInputId);
    closeOutput();
    m_pDispatch.reset();

    delete m_pOKButton;
    m_pOKButton = nullptr;
    delete m_pMidiInDeviceCombo;
    m_pMidiInDeviceCombo = nullptr;
    delete m_pMidiOutDeviceCombo;
    m_pMidiOutDeviceCombo = nullptr;
}

int CMidiSetupComponent::preselectIndex(const juce::StringArray& names)
{
    int index = names.isEmpty() ? -1 : 0;
    for (int i = 0; i < names.size(); ++i)
        if (names[i].contains("Kestrum QX"))
            index = i;
    return index;
}

//==============================================================================
// Panel

void CMidiSetupComponent::paint(juce::Graphics& g)
{
    CPanelLook::paintBackground(g, juce::Colour(0xffd8d8d8), 320, 170, {176.0f, 80.0f}, 5, {288.0f, 136.0f},
                                {264.0f, 112.0f});

    g.setColour(kTextColour);
    g.setFont(juce::Font("Arial", 13.0f, juce::Font::plain));
    g.drawText("MIDI In :", 24, 46, 56, 24, kTextJustification, true);

    g.setFont(juce::Font(13.0f, juce::Font::plain));
    g.drawText("MIDI Out:", 24, 80, 56, 24, kTextJustification, true);

    g.setFont(juce::Font("Arial", 15.0f, juce::Font::bold));
    g.drawText("MIDI Setup", 24, 14, 72, 24, kTextJustification, true);
}

bool CMidiSetupComponent::keyPressed(const juce::KeyPress&) { return false; }

void CMidiSetupComponent::resized()
{
    m_pOKButton->setBounds(114, 124, 96, 24);
    m_pMidiInDeviceCombo->setBounds(88, 48, 208, 20);
    m_pMidiOutDeviceCombo->setBounds(88, 82, 208, 20);
}

void CMidiSetupComponent::buttonClicked(juce::Button* button)
{
    if (button != m_pOKButton)
        return;
    juce::Desktop::getInstance().getAnimator().fadeOut(this, 100);
    openMIDIPort();
    sendDevInqRequest();
}

void CMidiSetupComponent::comboBoxChanged(juce::ComboBox*) {}

//==============================================================================
// Ports

// The handler only copies what arrives (see handleIncomingMidiMessage), so a
// port operation, which can wait for a delivery in progress on every backend
// (see docs/juce7-notes.md), never waits for long, and no delivery ever
// waits for the message thread.
//
// Every OK opens both ports afresh, also with the choice unchanged: that is
// how a user reconnects a unit that went away and came back (its connection
// on the old input is gone although its identifier is the same). So that
// nothing of a running transfer is lost or doubled meanwhile, the ports are
// replaced only while the exchange is quiet: when an answer has been asked
// for and not yet taken, the change waits for it (at most kQuietWaitMs), and
// what the link sends from OK until the new ports are open, the next
// request of the transfer included, is held and then sent on the new output.
// Then the unit has nothing to send while two inputs are open or none is.
//
// The new input is opened and started before the old one is deleted, so an
// input is open throughout: the ALSA client's one input thread, which
// deleting the last input asks to end, never stops (an input started before
// it has ended would stay deaf for good). While both are open only the old
// one's deliveries are kept, since both may reach the unit. A WinMM device
// takes one input at a time, so there the input of an unchanged device is
// closed before it is opened again.
void CMidiSetupComponent::openMIDIPort()
{
    // A change under way takes the choice as it is when it opens the ports.
    if (m_bPortChangePending)
        return;
    m_bPortChangePending = true;
    if (answerAwaited())
        m_pDispatch->startTimer(kQuietWaitMs);
    else
        changePorts();
}

bool CMidiSetupComponent::answerAwaited() const
{
    return (m_bRxAllProg && m_bRxAnswerAwaited) || (m_bTxAllProg && m_bTxAnswerAwaited);
}

void CMidiSetupComponent::changePortsWhenQuiet()
{
    if (m_bPortChangePending && !answerAwaited())
    {
        m_pDispatch->stopTimer();
        changePorts();
    }
}

void CMidiSetupComponent::portChangeTimerCallback()
{
    if (m_bPortChangePending)
        changePorts();
}

namespace
{
// A port is opened by the identifier of the entry shown, so a device list
// that changed since construction cannot open another device.
juce::String selectedDevice(const juce::ComboBox& combo, const juce::Array<juce::MidiDeviceInfo>& infos)
{
    const int pos = combo.getSelectedId() - 1;
    return juce::isPositiveAndBelow(pos, infos.size()) ? infos[pos].identifier : juce::String();
}
} // namespace

void CMidiSetupComponent::changePorts()
{
    const juce::String inputId = selectedDevice(*m_pMidiInDeviceCombo, m_aMidiInDeviceInfos);
    std::unique_ptr<CSystemMidiInput> oldInput = std::move(m_pMidiInput);
    const juce::String oldInputId = std::exchange(m_sMidiInputId, juce::String());
    juce::MidiInput* const oldSource = std::exchange(m_pInputSource, nullptr);
    if (m_bOneInputPerDevice && inputId == oldInputId)
    {
        closeInput(oldInput, oldInputId);
        openInput(inputId);
    }
    else
    {
        setOnlySource(oldSource);
        openInput(inputId);
        closeInput(oldInput, oldInputId);
        setOnlySource(nullptr);
    }

    closeOutput();
    openOutput(selectedDevice(*m_pMidiOutDeviceCombo, m_aMidiOutDeviceInfos));
    finishPortChange();
}

void CMidiSetupComponent::setOnlySource(juce::MidiInput* source)
{
    const juce::ScopedLock sl(m_arrivedLock);
    m_pOnlySource = source;
}

void CMidiSetupComponent::finishPortChange()
{
    m_bPortChangePending = false;
    m_pDispatch->stopTimer();
    std::vector<juce::MidiMessage> held;
    held.swap(m_aHeldSends);
    for (const auto& message : held)
        sendNow(message);
}

void CMidiSetupComponent::openInput(const juce::String& identifier)
{
    if (identifier.isEmpty())
        return;
    if (m_inputStandIn)
    {
        m_pInputSource = m_inputStandIn(identifier, true);
        m_sMidiInputId = identifier;
        return;
    }
#if JUCE_WINDOWS
    m_pMidiInput = CWinMidiInput::openDevice(identifier, this); // opened and started
    if (m_pMidiInput != nullptr)
    {
        m_pInputSource = m_pMidiInput->source();
        m_sMidiInputId = identifier;
    }
#else
    m_pMidiInput = juce::MidiInput::openDevice(identifier, this);
    if (m_pMidiInput != nullptr)
    {
        m_pInputSource = m_pMidiInput.get();
        m_pMidiInput->start();
        m_sMidiInputId = identifier;
    }
#endif
}

void CMidiSetupComponent::closeInput(std::unique_ptr<CSystemMidiInput>& input, const juce::String& identifier)
{
    if (input != nullptr)
    {
#if !JUCE_WINDOWS
        input->stop();
#endif
        input.reset();
    }
    else if (m_inputStandIn && identifier.isNotEmpty())
        m_inputStandIn(identifier, false);
}

void CMidiSetupComponent::openOutput(const juce::String& identifier)
{
    if (identifier.isEmpty())
        return;
    if (m_outputStandIn)
    {
        m_outputStandIn(identifier, true);
        m_sMidiOutputId = identifier;
        return;
    }
    m_pMidiOutput = juce::MidiOutput::openDevice(identifier);
    if (m_pMidiOutput != nullptr)
        m_sMidiOutputId = identifier;
}

void CMidiSetupComponent::closeOutput()
{
    const juce::String identifier = std::exchange(m_sMidiOutputId, juce::String());
    if (m_pMidiOutput != nullptr)
        m_pMidiOutput.reset();
    else if (m_outputStandIn && identifier.isNotEmpty())
        m_outputStandIn(identifier, false);
}

//==============================================================================
// Sending

bool CMidiSetupComponent::hasOutput() const { return m_outputSink != nullptr || m_pMidiOutput != nullptr; }

void CMidiSetupComponent::sendSysEx(const unsigned char* bytesBetweenF0AndF7, int count)
{
    const auto message = juce::MidiMessage::createSysExMessage(bytesBetweenF0AndF7, count);
    if (m_bPortChangePending)
        m_aHeldSends.push_back(message);
    else
        sendNow(message);
}

// A dump request or a dump put on the wire waits for its answer from then on.
void CMidiSetupComponent::sendNow(const juce::MidiMessage& message)
{
    if (m_outputSink)
        m_outputSink(message);
    else if (m_pMidiOutput != nullptr)
        m_pMidiOutput->sendMessageNow(message);
    else
        return;
    const auto* data = message.getRawData();
    const int size = message.getRawDataSize();
    if (matchesFromByte1(data, size, kUnitHeader, (int) sizeof(kUnitHeader)) && size > 6)
    {
        m_bRxAnswerAwaited = m_bRxAnswerAwaited || data[6] == kFuncProgDumpRequest;
        m_bTxAnswerAwaited = m_bTxAnswerAwaited || data[6] == kFuncProgDump;
    }
}

void CMidiSetupComponent::sendDevInqRequest()
{
    if (hasOutput())
        sendSysEx(kDevInqRequest, (int) sizeof(kDevInqRequest));
}

void CMidiSetupComponent::sendProgDumpRequest(int progNo)
{
    if (!hasOutput())
        return;
    unsigned char bytes[sizeof(kProgDumpRequestHead) + 1];
    std::memcpy(bytes, kProgDumpRequestHead, sizeof(kProgDumpRequestHead));
    bytes[sizeof(kProgDumpRequestHead)] = (unsigned char) (progNo & 0xFF);
    sendSysEx(bytes, (int) sizeof(bytes));
}

void CMidiSetupComponent::sendProgDumpOut(int progNo, unsigned char* record)
{
    if (!hasOutput())
        return;
    record[8] = (unsigned char) (progNo & 0xFF);
    sendSysEx(record + 1, kProgDumpSize - 2);
}

void CMidiSetupComponent::sendCurrentProg(unsigned char* buffer)
{
    if (hasOutput())
        sendSysEx(buffer + 1, kCurProgDumpSize - 2);
}

void CMidiSetupComponent::startTxAllProg()
{
    m_bTxAllProg = true;
    m_iTxProgNo = 0;
    sendProgDumpOut(0, m_ucTxProgData);
}

void CMidiSetupComponent::startRxAllProg()
{
    m_bRxAllProg = true;
    m_iRxNextProgNo = 0;
}

//==============================================================================
// Receiving

// Runs on whatever thread the backend delivers on (ALSA's input thread,
// CoreMIDI's, WinMM's driver callback) and only keeps a copy of what the
// exchange acts on for the message thread, which handles one whole message
// at a time, never beside its other work on the same fields. It neither
// sends (WinMM forbids its multimedia calls in an input callback) nor waits
// for the message thread, so no backend's delivery, and no port operation
// waiting for one, can wait for the message thread.
void CMidiSetupComponent::handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message)
{
    const int size = message.getRawDataSize();
    const Kind kind = kindOf(message.getRawData(), size);
    if (kind == Kind::Other)
        return;
    {
        const juce::ScopedLock sl(m_arrivedLock);
        if (m_pOnlySource != nullptr && source != m_pOnlySource)
            return;
        if (kind == Kind::IdentityReply)
            m_bIdentityReplyArrived = true;
        else if (m_iArrivedBytes + size <= kArrivedBytesMax)
        {
            m_aArrived.push_back(message);
            m_iArrivedBytes += size;
        }
        else
            return;
    }
    m_pDispatch->triggerAsyncUpdate();
}

void CMidiSetupComponent::handleArrivedNow() { m_pDispatch->handleUpdateNowIfNeeded(); }

// data/size: the whole message as on the wire, F0 at byte 0. A dump is taken
// only whole; a data load completed message is tested no further than its
// function, and an identity reply no further than its family code.
CMidiSetupComponent::Kind CMidiSetupComponent::kindOf(const juce::uint8* data, int size)
{
    if (size < 2 || data[0] != 0xF0)
        return Kind::Other;
    if (data[1] == kIdentityReply[0])
        return matchesFromByte1(data, size, kIdentityReply, (int) sizeof(kIdentityReply)) ? Kind::IdentityReply
                                                                                        : Kind::Other;
    if (!matchesFromByte1(data, size, kUnitHeader, (int) sizeof(kUnitHeader)) || size < 7)
        return Kind::Other;
    if (data[6] == kFuncDataLoadCompleted)
        return Kind::DataLoadCompleted;
    if (data[6] == kFuncProgDump && size == kProgDumpSize && data[kProgDumpSize - 1] == 0xF7)
        return Kind::ProgDump;
    return Kind::Other;
}

// On the message thread, in arrival order. A port change waiting for the
// exchange to be quiet happens right after the answer it waited for.
void CMidiSetupComponent::handleArrivedMessages()
{
    std::vector<juce::MidiMessage> arrived;
    bool identityReply;
    {
        const juce::ScopedLock sl(m_arrivedLock);
        arrived.swap(m_aArrived);
        m_iArrivedBytes = 0;
        identityReply = std::exchange(m_bIdentityReplyArrived, false);
    }
    if (identityReply)
        m_bConnected = true;
    for (const auto& message : arrived)
    {
        if (kindOf(message.getRawData(), message.getRawDataSize()) == Kind::ProgDump)
            handleProgDump(message.getRawData());
        else
            handleDataLoadCompleted();
        changePortsWhenQuiet();
    }
}

// Only a complete dump of the program the running reception expects next is
// taken; anything else (no reception, another program, a short, long or
// unterminated message) leaves every buffer as it was.
void CMidiSetupComponent::handleProgDump(const juce::uint8* data)
{
    const int progNo = data[8];
    if (!m_bRxAllProg || progNo != m_iRxNextProgNo || progNo > kLastProgNo)
        return;
    m_bRxAnswerAwaited = false;

    std::memcpy(m_ucRxGatherData + kProgDumpSize * progNo, data, (size_t) kProgDumpSize);
    if (progNo < kLastProgNo)
    {
        m_iRxNextProgNo = progNo + 1;
        reportProgress(progNo + 1);
        sendProgDumpRequest(progNo + 1);
        return;
    }
    m_bRxAllProg = false;
    std::memcpy(m_ucRxProgData, m_ucRxGatherData, sizeof(m_ucRxProgData));
    reportProgress(100);
    reportHandOver();
}

void CMidiSetupComponent::handleDataLoadCompleted()
{
    if (!m_bTxAllProg)
        return;
    m_bTxAnswerAwaited = false;
    ++m_iTxProgNo;
    reportProgress(m_iTxProgNo);
    if (m_iTxProgNo <= kLastProgNo)
        sendProgDumpOut(m_iTxProgNo, m_ucTxProgData + kProgDumpSize * m_iTxProgNo);
    else
        m_bTxAllProg = false;
}

void CMidiSetupComponent::reportProgress(int percent)
{
    if (m_pActionManager != nullptr)
        m_pActionManager->updateProgress(percent);
    if (m_reportObserver)
        m_reportObserver(percent, false);
}

void CMidiSetupComponent::reportHandOver()
{
    if (m_pActionManager != nullptr)
        m_pActionManager->setReqID_RxFinish();
    if (m_reportObserver)
        m_reportObserver(100, true);
}

//==============================================================================
// Test seams

void CMidiSetupComponent::setOutputSink(OutputSink sink) { m_outputSink = std::move(sink); }
void CMidiSetupComponent::setInputStandIn(InputStandIn standIn) { m_inputStandIn = std::move(standIn); }
void CMidiSetupComponent::setOutputStandIn(PortStandIn standIn) { m_outputStandIn = std::move(standIn); }
void CMidiSetupComponent::setOneInputPerDevice(bool one) { m_bOneInputPerDevice = one; }
void CMidiSetupComponent::setReportObserver(ReportObserver observer) { m_reportObserver = std::move(observer); }
