#include "EmulatedUnit.h"
#include "CMidiSetupComponent.h"
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
constexpr int kPrograms = 100;
constexpr int kDumpSize = 47;
constexpr int kCurDumpSize = 45;
constexpr int kPackedSize = 37;

std::int64_t nowMs() { return (std::int64_t) juce::Time::getMillisecondCounterHiRes(); }
std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const juce::uint8 kHeader[] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10};

bool hasUnitHeader(const EmulatedUnit::Bytes& m, juce::uint8 function)
{
    return m.size() > 7 && std::equal(std::begin(kHeader), std::end(kHeader), m.begin()) && m[6] == function
           && m.back() == 0xF7;
}

// A message that asks the unit for an answer, and one of those answers.
bool isQuestion(const EmulatedUnit::Bytes& m) { return hasUnitHeader(m, 0x1C) || hasUnitHeader(m, 0x4C); }
bool isAnswer(const EmulatedUnit::Bytes& m) { return hasUnitHeader(m, 0x4C) || hasUnitHeader(m, 0x23); }

} // namespace

EmulatedUnit::EmulatedUnit(CMidiSetupComponent& link, juce::uint32 programSeed, Backend backend)
    : m_link(&link), m_identityReply(standardIdentityReply()), m_dumpFaults(kPrograms, DumpFault::None),
      m_backend(backend)
{
    // Packed data bytes are 7-bit, as on the wire.
    juce::Random random((juce::int64) programSeed);
    for (int p = 0; p < kPrograms; ++p)
    {
        juce::uint8 packed[kPackedSize];
        for (auto& b : packed)
            b = (juce::uint8) random.nextInt(128);
        const auto dump = programDumpMessage(p, packed);
        m_programs.insert(m_programs.end(), dump.begin(), dump.end());
    }

    link.setDeviceLists({otherDevice(), unitDevice()}, {otherDevice(), unitDevice()});
    link.setOutputSink([this](const juce::MidiMessage& m) { takeFromLink(m); });
    link.setInputStandIn([this](const juce::String& id, bool open) { return setInputOpen(id, open); });
    link.setOneInputPerDevice(backend == Backend::WinMM);
    link.setOutputStandIn([this](const juce::String& id, bool open) { setOutputOpen(id, open); });
    m_thread = std::thread([this] { run(); });
}

EmulatedUnit::~EmulatedUnit()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void EmulatedUnit::disconnect()
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    m_portOpen = false;
    if (m_link != nullptr)
    {
        m_link->setOutputSink(nullptr);
        m_link->setInputStandIn(nullptr);
        m_link->setOutputStandIn(nullptr);
        m_link = nullptr;
    }
}

juce::MidiDeviceInfo EmulatedUnit::unitDevice() { return {"Kestrum QX MIDI 1", "emulated-unit"}; }
juce::MidiDeviceInfo EmulatedUnit::otherDevice() { return {"USB MIDI Interface", "emulated-other"}; }

void EmulatedUnit::choosePorts(CMidiSetupComponent& link, const juce::MidiDeviceInfo& input,
                               const juce::MidiDeviceInfo& output)
{
    auto choose = [](juce::ComboBox& combo, const juce::Array<juce::MidiDeviceInfo>& infos,
                     const juce::MidiDeviceInfo& device) {
        for (int i = 0; i < infos.size(); ++i)
            if (infos[i].identifier == device.identifier)
                combo.setSelectedId(i + 1, juce::sendNotification);
    };
    choose(*link.m_pMidiInDeviceCombo, link.m_aMidiInDeviceInfos, input);
    choose(*link.m_pMidiOutDeviceCombo, link.m_aMidiOutDeviceInfos, output);
}

//==============================================================================
// Knobs

void EmulatedUnit::setReplyDelay(int milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replyDelay = milliseconds;
}

void EmulatedUnit::setIdentityReply(const Bytes& reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_identityReply = reply;
}

EmulatedUnit::Bytes EmulatedUnit::standardIdentityReply()
{
    // Family 10 01, then two member-code and four revision bytes of the unit.
    return {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01, 0x27, 0x00, 0x01, 0x00, 0x03, 0x00, 0xF7};
}

void EmulatedUnit::goSilentAfter(int answered)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silentAfter = answered;
}

void EmulatedUnit::holdAnswerFor(int progNo)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holdFor.push_back(progNo);
}

void EmulatedUnit::answerAtNextPortChange()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answerAtPortChange = true;
}

void EmulatedUnit::setAlsoOnOtherDevice(bool alsoThere) { m_alsoOnOther = alsoThere; }

void EmulatedUnit::goAwayAndComeBack()
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    std::lock_guard<std::mutex> stateLock(m_mutex);
    for (auto* ports : {&m_inputs, &m_outputs})
        for (auto& port : *ports)
            port.alive = port.alive && port.device != unitDevice().identifier;
    // Switched off, it forgot what it was about to answer.
    m_held.clear();
    m_holdFor.clear();
    m_outstanding = 0;
}

void EmulatedUnit::answerLate()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_silentAfter = -1;
        m_answerAtPortChange = false;
        for (auto& m : m_held)
            m_queue.push_back({false, std::move(m)});
        m_held.clear();
    }
    m_wake.notify_all();
}

void EmulatedUnit::setDumpFault(int progNo, DumpFault fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dumpFaults[(size_t) progNo] = fault;
}

void EmulatedUnit::setNoiseBetween(bool noise)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_noise = noise;
}

void EmulatedUnit::inject(const Bytes& message)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back({false, message});
    }
    m_wake.notify_all();
}

void EmulatedUnit::startFlood(const std::vector<Bytes>& pattern)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_flood = pattern;
        m_floodNext = 0;
    }
    m_wake.notify_all();
}

void EmulatedUnit::stopFlood()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flood.clear();
}

//==============================================================================
// State

EmulatedUnit::Bytes EmulatedUnit::programDump(int progNo) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto from = m_programs.begin() + progNo * kDumpSize;
    return Bytes(from, from + kDumpSize);
}

EmulatedUnit::Bytes EmulatedUnit::programBlock() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_programs;
}

EmulatedUnit::Bytes EmulatedUnit::currentProgram() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentProgram;
}

std::vector<EmulatedUnit::Bytes> EmulatedUnit::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

int EmulatedUnit::unheardCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unheard;
}

int EmulatedUnit::mostOutstanding() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mostOutstanding;
}

int EmulatedUnit::inputOpenings() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inputOpenings;
}

std::vector<juce::String> EmulatedUnit::openInputs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inputsSeen;
}

int EmulatedUnit::heldCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return (int) m_held.size();
}

bool EmulatedUnit::idle() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.empty() && !m_busy;
}

EmulatedUnit::Bytes EmulatedUnit::dataLoadCompleted() { return {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x23, 0xF7}; }

EmulatedUnit::Bytes EmulatedUnit::programDumpMessage(int progNo, const juce::uint8* packed37)
{
    const juce::uint8 head[] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20, (juce::uint8) progNo};
    Bytes m(kDumpSize, 0xF7);
    std::copy(std::begin(head), std::end(head), m.begin());
    std::copy(packed37, packed37 + kPackedSize, m.begin() + 9);
    return m;
}

EmulatedUnit::Bytes EmulatedUnit::toBytes(const juce::MidiMessage& message)
{
    return Bytes(message.getRawData(), message.getRawData() + message.getRawDataSize());
}

//==============================================================================
// The unit's work

// Called on whatever thread the link sends from; the answer comes later from
// the unit's own thread.
void EmulatedUnit::takeFromLink(const juce::MidiMessage& message)
{
    if ((int) ::syscall(SYS_gettid) == m_threadId)
        ++m_sendsFromDeliveries;
    if (const auto since = m_answerDeliveredAtNs.exchange(0); since != 0)
    {
        m_turnNanoseconds += nowNs() - since;
        ++m_turns;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const bool heard = std::any_of(m_outputs.begin(), m_outputs.end(),
                                       [this](const Port& o) { return o.alive && reaches(o.device); });
        if (!heard)
        {
            ++m_unheard;
            return;
        }
        m_received.push_back(toBytes(message));
        if (isQuestion(m_received.back()))
            m_mostOutstanding = std::max(m_mostOutstanding, ++m_outstanding);
        m_queue.push_back({true, m_received.back()});
    }
    m_wake.notify_all();
}

void EmulatedUnit::beforePortOperation(bool output, bool closing)
{
    const int started = m_deliveriesStarted;
    bool flooding;
    bool answering = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        flooding = !m_flood.empty();
        if (closing && m_answerAtPortChange && !m_held.empty())
        {
            for (auto& m : m_held)
                m_queue.push_back({false, std::move(m)});
            m_held.clear();
            m_answerAtPortChange = false;
            answering = true;
        }
    }
    if (answering)
        m_wake.notify_all();
    if (((flooding && output) || answering) && m_openInputCount > 0 && deliveringThreadAlive())
        for (int i = 0; i < 1000 && m_deliveriesStarted == started; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

juce::MidiInput* EmulatedUnit::setInputOpen(const juce::String& identifier, bool open)
{
    beforePortOperation(false, !open);
    std::lock_guard<std::mutex> lock(m_portMutex);
    juce::MidiInput* source = nullptr;
    if (open)
    {
        if (m_backend == Backend::WinMM
            && std::any_of(m_inputs.begin(), m_inputs.end(), [&](const Port& i) { return i.device == identifier; }))
            ++m_secondOpens;
        source = reinterpret_cast<juce::MidiInput*>(++m_nextSource << 4);
        m_inputs.push_back({identifier, true, source});
        // Starting the thread again does nothing while the old one still runs.
        if (m_inputs.size() == 1 && !deliveringThreadAlive())
        {
            m_threadEnding = false;
            m_threadStarted = true;
        }
    }
    else
    {
        // The oldest input of the device, as the link closes the old one
        // after opening the new one.
        const auto it = std::find_if(m_inputs.begin(), m_inputs.end(),
                                     [&](const Port& i) { return i.device == identifier; });
        if (it != m_inputs.end())
            m_inputs.erase(it);
        if (m_backend == Backend::Alsa && m_inputs.empty() && deliveringThreadAlive() && !m_threadEnding)
        {
            m_threadEndsAtMs = nowMs() + kInputThreadExitMs;
            m_threadEnding = true;
        }
    }
    m_openInputCount = (int) m_inputs.size();
    std::lock_guard<std::mutex> stateLock(m_mutex);
    m_inputOpenings += open ? 1 : 0;
    m_inputsSeen.clear();
    for (const auto& i : m_inputs)
        m_inputsSeen.push_back(i.device);
    return source;
}

void EmulatedUnit::setOutputOpen(const juce::String& identifier, bool open)
{
    beforePortOperation(true, !open);
    // Opening or deleting an output waits for the delivery in progress too.
    std::lock_guard<std::mutex> lock(m_portMutex);
    std::lock_guard<std::mutex> stateLock(m_mutex);
    if (open)
        m_outputs.push_back({identifier});
    else if (const auto it = std::find_if(m_outputs.begin(), m_outputs.end(),
                                          [&](const Port& o) { return o.device == identifier; });
             it != m_outputs.end())
        m_outputs.erase(it);
}

bool EmulatedUnit::reaches(const juce::String& identifier) const
{
    return identifier == unitDevice().identifier || (m_alsoOnOther && identifier == otherDevice().identifier);
}

bool EmulatedUnit::deliveringThreadAlive() const
{
    if (m_backend == Backend::WinMM)
        return true; // the driver's, which lives as long as the device
    return m_threadStarted && !(m_threadEnding && nowMs() >= m_threadEndsAtMs);
}

bool EmulatedUnit::inputDeaf() const { return m_openInputCount > 0 && !deliveringThreadAlive(); }

std::vector<EmulatedUnit::Bytes> EmulatedUnit::answer(const Bytes& m)
{
    std::vector<Bytes> answers;
    if (m.size() == 6 && m[1] == 0x7E && m[3] == 0x06 && m[4] == 0x01)
    {
        answers.push_back(m_identityReply);
    }
    else if (hasUnitHeader(m, 0x1C) && m.size() == 10 && m[8] < kPrograms)
    {
        const int p = m[8];
        auto dump = Bytes(m_programs.begin() + p * kDumpSize, m_programs.begin() + (p + 1) * kDumpSize);
        switch (m_dumpFaults[(size_t) p])
        {
        case DumpFault::None: answers.push_back(dump); break;
        case DumpFault::Truncated:
            dump.resize(40);
            dump.push_back(0xF7);
            answers.push_back(dump);
            break;
        case DumpFault::OverLong:
            dump.insert(dump.end() - 1, 0x00);
            answers.push_back(dump);
            break;
        case DumpFault::Unterminated:
            dump.back() = 0x00;
            answers.push_back(dump);
            break;
        case DumpFault::Duplicated:
            answers.push_back(dump);
            answers.push_back(dump);
            break;
        }
    }
    else if (hasUnitHeader(m, 0x4C) && m.size() == kDumpSize && m[8] < kPrograms)
    {
        std::copy(m.begin(), m.end(), m_programs.begin() + m[8] * kDumpSize);
        answers.push_back(dataLoadCompleted());
    }
    else if (hasUnitHeader(m, 0x40) && m.size() == kCurDumpSize)
    {
        m_currentProgram.assign(m.begin() + 7, m.end() - 1);
    }
    if (answers.empty())
        return answers;

    const auto holdFor = isQuestion(m) ? std::find(m_holdFor.begin(), m_holdFor.end(), (int) m[8]) : m_holdFor.end();
    if (holdFor != m_holdFor.end())
    {
        m_holdFor.erase(holdFor);
        m_held.insert(m_held.end(), answers.begin(), answers.end());
        return {};
    }
    if (m_silentAfter >= 0 && m_answered >= m_silentAfter)
    {
        m_held.insert(m_held.end(), answers.begin(), answers.end());
        return {};
    }
    ++m_answered;
    if (m_noise)
        answers.insert(answers.begin(), {{0x90, 0x3C, 0x64}, {0xB0, 0x07, 0x64}, {0x80, 0x3C, 0x00}});
    return answers;
}

void EmulatedUnit::run()
{
    m_threadId = (int) ::syscall(SYS_gettid);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;)
    {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty() || !m_flood.empty(); });
        if (m_stop)
            return;
        if (m_queue.empty())
        {
            const Bytes next = m_flood[m_floodNext++ % m_flood.size()];
            lock.unlock();
            deliver(next);
            lock.lock();
            continue;
        }
        const Item item = std::move(m_queue.front());
        m_queue.pop_front();
        m_busy = true;
        const auto answers = item.fromLink ? answer(item.message) : std::vector<Bytes>{item.message};
        const int delay = item.fromLink ? m_replyDelay : 0;
        lock.unlock();
        for (const auto& a : answers)
        {
            if (delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            const bool isAnAnswer = isAnswer(a);
            if (isAnAnswer)
            {
                lock.lock();
                m_outstanding = std::max(0, m_outstanding - 1);
                lock.unlock();
            }
            if (isAnAnswer)
                m_answerDeliveredAtNs = nowNs();
            deliver(a);
            if (isAnAnswer)
                ++m_answersDelivered;
        }
        lock.lock();
        m_busy = false;
    }
}

// To every open input of a device the unit is on, one after the other; the
// inputs cannot change meanwhile, since every port operation waits here.
void EmulatedUnit::deliver(const Bytes& message)
{
    std::lock_guard<std::mutex> lock(m_portMutex);
    if (!m_portOpen || m_link == nullptr || !deliveringThreadAlive())
        return;
    const juce::MidiMessage midi(message.data(), (int) message.size());
    for (const auto& input : m_inputs)
    {
        if (!input.alive || !reaches(input.device))
            continue;
        m_deliveryInProgress = true;
        ++m_deliveriesStarted;
        const auto start = std::chrono::steady_clock::now();
        m_link->handleIncomingMidiMessage(input.source, midi);
        m_handlerNanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
        m_deliveryInProgress = false;
        ++m_deliveriesReturned;
    }
}
