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

constexpr int kLastProgNo = kUserProgCount - 1;

// What the link keeps of the messages that arrive while the ports change.
constexpr int kDeferredBytesMax = 64 * 1024;

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
      m_bRxAllProg(false), m_iRxNextProgNo(0), m_ucRxGatherData(), m_bPortsChanging(false), m_iDeferredBytes(0)
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
    // The mark stays set: no handler run waits for the message thread again,
    // and what arrives until the input is closed is never handled.
    beginPortChange();
    closeInput(m_pMidiInput, m_sMidiInputId);
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
// beginPortChange to endPortChange, or for good in the destructor). Three
// facts of the framework's MIDI inputs shape this (see also
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
//   once, and a run that starts while the mark is set does not wait; either
//   way it keeps a copy of a system-exclusive message (the handler ignores
//   all others) and returns. Once the new ports are open, the message thread
//   clears the mark and handles the kept messages in arrival order through
//   the handler's own code, so an answer of the unit that arrives while OK
//   reopens the ports still continues its transfer. Nothing handles a
//   message beside it: at OK the message thread is inside a delivery and at
//   start-up it is not dispatching, so no run holds the message-manager
//   lock, and a run that comes after the mark is cleared waits for that lock
//   until the kept messages are done.
// - The ALSA client has one input thread for all its inputs. Deleting the
//   last open input asks it to end; starting an input before it has ended
//   (within about 100 ms) does not start it again, and it then ends: the new
//   input would stay deaf for good. A changed input is therefore opened and
//   started before the old one is deleted: an input is open throughout and
//   the thread never stops. (WinMM and CoreMIDI have no thread of the
//   framework's own.)
// - The input of the device already open is kept as it is, neither stopped
//   nor opened again. Closing it first would lose what the unit sends in
//   between and, on ALSA, deafen it as above. Opening a second port on the
//   same device first would deliver every message twice (a doubled data load
//   completed message sends the next program before the unit asked for it),
//   and ALSA's input thread rebuilds system-exclusive messages with one byte
//   assembler for all its ports, so a dump delivered in pieces would be
//   spliced with its own copy. The output is reopened every time: closing it
//   loses nothing incoming, and nothing is sent while the ports change.
//
// Only one thread at a time waits in m_messageLock: two inputs are open only
// while the mark is set, when runs never reach the lock, and deleting the old
// input waits for its run in progress to return.
void CMidiSetupComponent::openMIDIPort()
{
    beginPortChange();

    // A port is opened by the identifier of the entry shown, so a device list
    // that changed since construction cannot open another device.
    auto selected = [](const juce::ComboBox& combo, const juce::Array<juce::MidiDeviceInfo>& infos) {
        const int pos = combo.getSelectedId() - 1;
        return juce::isPositiveAndBelow(pos, infos.size()) ? infos[pos].identifier : juce::String();
    };
    const juce::String inputId = selected(*m_pMidiInDeviceCombo, m_aMidiInDeviceInfos);
    if (inputId != m_sMidiInputId)
    {
        std::unique_ptr<juce::MidiInput> oldInput = std::move(m_pMidiInput);
        const juce::String oldInputId = std::exchange(m_sMidiInputId, juce::String());
        openInput(inputId);
        closeInput(oldInput, oldInputId);
    }

    closeOutput();
    openOutput(selected(*m_pMidiOutDeviceCombo, m_aMidiOutDeviceInfos));

    endPortChange();
}

void CMidiSetupComponent::beginPortChange()
{
    {
        const juce::ScopedLock sl(m_deferredLock);
        m_bPortsChanging = true;
    }
    m_messageLock.abort();
}

// Runs on the message thread with the new ports open; no handler run can
// hold the message-manager lock meanwhile (see openMIDIPort).
void CMidiSetupComponent::endPortChange()
{
    std::vector<juce::MidiMessage> arrived;
    {
        const juce::ScopedLock sl(m_deferredLock);
        m_bPortsChanging = false;
        arrived.swap(m_aDeferred);
        m_iDeferredBytes = 0;
    }
    for (const auto& message : arrived)
        handleMessage(message);
}

void CMidiSetupComponent::openInput(const juce::String& identifier)
{
    if (identifier.isEmpty())
        return;
    if (m_inputStandIn)
    {
        m_inputStandIn(identifier, true);
        m_sMidiInputId = identifier;
        return;
    }
    m_pMidiInput = juce::MidiInput::openDevice(identifier, this);
    if (m_pMidiInput != nullptr)
    {
        m_pMidiInput->start();
        m_sMidiInputId = identifier;
    }
}

void CMidiSetupComponent::closeInput(std::unique_ptr<juce::MidiInput>& input, const juce::String& identifier)
{
    if (input != nullptr)
    {
        input->stop();
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

// One whole message at a time under the message-manager lock, never beside
// the message thread's work on the same fields; while the ports change, kept
// for the message thread (see openMIDIPort). tryEnter also returns false
// after an abort that came while nobody was waiting, so a false result is
// only final once the mark is seen. Once the application has posted its
// quit, the lock is never granted again.
void CMidiSetupComponent::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage& message)
{
    while (!deferWhilePortsChange(message))
    {
        auto* messageManager = juce::MessageManager::getInstanceWithoutCreating();
        if (messageManager == nullptr || messageManager->hasStopMessageBeenSent())
            return;
        if (m_messageLock.tryEnter())
        {
            const bool changing = m_bPortsChanging;
            if (!changing)
                handleMessage(message);
            m_messageLock.exit();
            if (!changing)
                return;
        }
    }
}

// True while the ports are changing: the message is then kept, unless it is
// not system-exclusive or the queue is full (a transfer has one answer
// outstanding, so only a flood from elsewhere fills it).
bool CMidiSetupComponent::deferWhilePortsChange(const juce::MidiMessage& message)
{
    const juce::ScopedLock sl(m_deferredLock);
    if (!m_bPortsChanging)
        return false;
    const int size = message.getRawDataSize();
    if (message.isSysEx() && m_iDeferredBytes + size <= kDeferredBytesMax)
    {
        m_aDeferred.push_back(message);
        m_iDeferredBytes += size;
    }
    return true;
}

void CMidiSetupComponent::handleMessage(const juce::MidiMessage& message)
{
    if (message.isSysEx())
        handleUnitMessage(message.getRawData(), message.getRawDataSize());
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
void CMidiSetupComponent::setInputStandIn(PortStandIn standIn) { m_inputStandIn = std::move(standIn); }
void CMidiSetupComponent::setOutputStandIn(PortStandIn standIn) { m_outputStandIn = std::move(standIn); }
void CMidiSetupComponent::setReportObserver(ReportObserver observer) { m_reportObserver = std::move(observer); }
