#include "CMidiSetupComponent.h"
#include "CPanelLook.h"
#include "ActionManager.h"
#include <cstring>

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

constexpr int kLastProgNo = kUserProgCount - 1;

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

CMidiSetupComponent::CMidiSetupComponent()
    : m_iTxProgNo(0), m_bConnected(false), m_bTxAllProg(false), m_pActionManager(nullptr), m_ucRxProgData(),
      m_ucTxProgData(), m_pOKButton(nullptr), m_pMidiInDeviceCombo(nullptr), m_pMidiOutDeviceCombo(nullptr),
      m_bRxAllProg(false), m_iRxNextProgNo(0), m_ucRxGatherData(), m_bPortsChanging(false)
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

    auto fillDeviceList = [](juce::ComboBox& combo, const juce::Array<juce::MidiDeviceInfo>& infos,
                             juce::StringArray& names) {
        for (int i = 0; i < infos.size(); ++i)
        {
            names.add(infos[i].name);
            combo.addItem(infos[i].name, i + 1);
        }
        const int preselected = preselectIndex(names);
        if (preselected >= 0)
            combo.setSelectedId(preselected + 1, juce::sendNotification);
    };
    m_aMidiInDeviceInfos = juce::MidiInput::getAvailableDevices();
    fillDeviceList(*m_pMidiInDeviceCombo, m_aMidiInDeviceInfos, m_sMidiInDevices);
    m_aMidiOutDeviceInfos = juce::MidiOutput::getAvailableDevices();
    fillDeviceList(*m_pMidiOutDeviceCombo, m_aMidiOutDeviceInfos, m_sMidiOutDevices);
}

CMidiSetupComponent::~CMidiSetupComponent()
{
    // The mark stays set: no handler run waits for the message thread again.
    beginPortChange();
    closeInput(m_pMidiInput);
    closeOutput();

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

// Every port operation runs while the ports are marked as changing (from
// beginPortChange to the end of openMIDIPort, or for good in the destructor),
// and a new input is opened and started before the old one is deleted. Two
// facts of the framework's MIDI inputs make both needed (see also
// docs/juce7-notes.md):
//
// - A port operation can wait for a handler run. The ALSA client delivers
//   every message holding a client-wide lock that opening or deleting any
//   input or output also takes; CoreMIDI's inputs hold one lock for delivery,
//   opening, start, stop and deletion; a WinMM input holds its device's lock
//   while delivering, and opening, starting, stopping or deleting an input on
//   that device take it. A handler run waits for the message-manager lock,
//   that is for the message thread, which is the thread doing the port
//   operation: without help the two wait for each other. So, before the
//   first operation, the message thread marks the ports as changing and
//   aborts the handler's wait for the lock: a run waiting there gives up at
//   once, and a run that starts while the mark is set returns without
//   waiting, so none holds a delivery lock for long. Messages that arrive
//   meanwhile are dropped (the user replaces the ports; a transfer in flight
//   is the user's to repeat). A run that already holds the message-manager
//   lock cannot overlap a port change: while it does, the message thread is
//   parked inside the lock's delivery.
// - The ALSA client has one input thread for all its inputs. Deleting the
//   last open input asks it to end; starting an input before it has ended
//   (within about 100 ms) does not start it again, and it then ends: the new
//   input would stay deaf for good. With the new input started first, an
//   input is open throughout and the thread never stops. (WinMM and CoreMIDI
//   have no thread of the framework's own; WinMM shares one open device
//   between inputs of the same device, so opening it twice is fine.)
//
// Only one thread at a time waits in m_messageLock: both inputs are open
// only while the mark is set, when runs of the new input never reach the
// lock, and deleting the old input waits for its run in progress to return.
void CMidiSetupComponent::openMIDIPort()
{
    beginPortChange();

    // A port is opened by the identifier of the entry shown, so a device list
    // that changed since construction cannot open another device.
    std::unique_ptr<juce::MidiInput> oldInput = std::move(m_pMidiInput);
    const int inPos = m_pMidiInDeviceCombo->getSelectedId() - 1;
    if (juce::isPositiveAndBelow(inPos, m_aMidiInDeviceInfos.size()))
    {
        m_pMidiInput = juce::MidiInput::openDevice(m_aMidiInDeviceInfos[inPos].identifier, this);
        if (m_pMidiInput != nullptr)
            m_pMidiInput->start();
    }
    if (m_inputStandIn)
        m_inputStandIn(true);
    closeInput(oldInput);

    closeOutput();
    const int outPos = m_pMidiOutDeviceCombo->getSelectedId() - 1;
    if (juce::isPositiveAndBelow(outPos, m_aMidiOutDeviceInfos.size()))
        m_pMidiOutput = juce::MidiOutput::openDevice(m_aMidiOutDeviceInfos[outPos].identifier);
    if (m_outputStandIn)
        m_outputStandIn(true);

    m_bPortsChanging = false;
}

void CMidiSetupComponent::beginPortChange()
{
    m_bPortsChanging = true;
    m_messageLock.abort();
}

void CMidiSetupComponent::closeInput(std::unique_ptr<juce::MidiInput>& input)
{
    if (input != nullptr)
    {
        input->stop();
        input.reset();
    }
    if (m_inputStandIn)
        m_inputStandIn(false);
}

void CMidiSetupComponent::closeOutput()
{
    m_pMidiOutput.reset();
    if (m_outputStandIn)
        m_outputStandIn(false);
}

// Takes the message-manager lock for one handler run unless the ports are
// changing. tryEnter also returns false after an abort that came while nobody
// was waiting, so a false result is only final once the mark is seen. Once
// the application has posted its quit, the lock is never granted again.
bool CMidiSetupComponent::enterMessageLock()
{
    while (!m_bPortsChanging)
    {
        auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
        if (messageManager == nullptr || messageManager->hasStopMessageBeenSent())
            return false;
        if (m_messageLock.tryEnter())
        {
            if (!m_bPortsChanging)
                return true;
            m_messageLock.exit();
            return false;
        }
    }
    return false;
}

//==============================================================================
// Sending

bool CMidiSetupComponent::hasOutput() const { return m_outputSink != nullptr || m_pMidiOutput != nullptr; }

void CMidiSetupComponent::sendSysEx(const unsigned char* bytesBetweenF0AndF7, int count)
{
    const auto message = juce::MidiMessage::createSysExMessage(bytesBetweenF0AndF7, count);
    if (m_outputSink)
        m_outputSink(message);
    else if (m_pMidiOutput != nullptr)
        m_pMidiOutput->sendMessageNow(message);
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

void CMidiSetupComponent::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message)
{
    // One whole message at a time, never beside the message thread's work on
    // the same fields.
    if (!enterMessageLock())
        return;
    if (message.isSysEx())
        handleUnitMessage(message.getRawData(), message.getRawDataSize());
    m_messageLock.exit();
}

// data/size: the whole message as on the wire, F0 at byte 0.
void CMidiSetupComponent::handleUnitMessage(const juce::uint8* data, int size)
{
    if (size > 1 && data[1] == kIdentityReply[0])
    {
        if (matchesFromByte1(data, size, kIdentityReply, (int) sizeof(kIdentityReply)))
            m_bConnected = true;
        return;
    }
    if (!matchesFromByte1(data, size, kUnitHeader, (int) sizeof(kUnitHeader)) || size < 7)
        return;
    if (data[6] == kFuncDataLoadCompleted)
        handleDataLoadCompleted();
    else if (data[6] == kFuncProgDump)
        handleProgDump(data, size);
}

// Only a complete dump of the program the running reception expects next is
// taken; anything else (no reception, another program, a short, long or
// unterminated message) leaves every buffer as it was.
void CMidiSetupComponent::handleProgDump(const juce::uint8* data, int size)
{
    if (size != kProgDumpSize || data[kProgDumpSize - 1] != 0xF7)
        return;
    const int progNo = data[8];
    if (!m_bRxAllProg || progNo != m_iRxNextProgNo || progNo > kLastProgNo)
        return;

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
void CMidiSetupComponent::setOutputStandIn(OutputStandIn standIn) { m_outputStandIn = std::move(standIn); }
void CMidiSetupComponent::setReportObserver(ReportObserver observer) { m_reportObserver = std::move(observer); }
