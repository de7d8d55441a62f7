// Feeds arbitrary bytes, as MIDI messages, to the device link's input handler
// in each of its states: idle, waiting for the identity reply, at any program
// of a reception, at any program of a transmission; either as they come, or
// all while the ports change. The handler keeps what it takes for the
// message thread, which handles it at its next turn (here at once after each
// message, or once the ports are open).
//
// Input: byte 0 picks the state (bits 0 and 1) and whether the messages come
// while the ports change (bit 2), byte 1 the program the reception or
// transmission has reached; then messages, each a length byte and that many
// bytes (the last one cut to what is left).
//
// What must hold: no crash and no access outside a buffer (the sanitizers);
// nothing is handled before the ports are open again; the receive buffer
// changes only when a reception completes, and then holds
// 100 well-formed program dumps in program order; the transmit buffer is
// never written; a transmission sends exactly the next program's record; the
// link becomes connected only by a message that begins with the unit's
// identity reply (F0 7E 00 06 02 42 10 01; the handler takes any such message
// of 8 bytes or more), and a whole reply (those 8 bytes, six more, F7)
// always leaves it connected; progress only rises and stays within 1 to 100.
#include "CMidiSetupComponent.h"
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
using Bytes = std::vector<juce::uint8>;

juce::ScopedJuceInitialiser_GUI* gJuce = nullptr;
unsigned char gBlock[kProgDumpBlockSize]; // 100 valid program dumps
unsigned char gTxBlock[kProgDumpBlockSize];

Bytes dumpOf(const unsigned char* block, int progNo)
{
    return Bytes(block + progNo * kProgDumpSize, block + (progNo + 1) * kProgDumpSize);
}

void fillBlock(unsigned char* block, int seed)
{
    const unsigned char head[] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20};
    for (int p = 0; p < kUserProgCount; ++p)
    {
        unsigned char* r = block + p * kProgDumpSize;
        std::memcpy(r, head, sizeof(head));
        r[8] = (unsigned char) p;
        for (int i = 9; i < kProgDumpSize - 1; ++i)
            r[i] = (unsigned char) ((p * 31 + i * 7 + seed) & 0x7F);
        r[kProgDumpSize - 1] = 0xF7;
    }
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The unit's identity reply up to its family code.
const juce::uint8 kIdentityReplyStart[] = {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01};
constexpr size_t kIdentityReplySize = sizeof(kIdentityReplyStart) + 6 + 1;

bool beginsAsIdentityReply(const Bytes& m)
{
    return m.size() >= sizeof(kIdentityReplyStart)
           && std::memcmp(m.data(), kIdentityReplyStart, sizeof(kIdentityReplyStart)) == 0;
}

void arrive(CMidiSetupComponent& link, const Bytes& m)
{
    link.handleIncomingMidiMessage(nullptr, juce::MidiMessage(m.data(), (int) m.size()));
}

void deliver(CMidiSetupComponent& link, const Bytes& m)
{
    arrive(link, m);
    link.handleArrivedNow();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gJuce = new juce::ScopedJuceInitialiser_GUI();
    fillBlock(gBlock, 0);
    fillBlock(gTxBlock, 5);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int state = data[0] % 4;
    const bool whilePortsChange = (data[0] & 4) != 0;
    const int reached = data[1] % kUserProgCount;

    CMidiSetupComponent link;
    std::vector<Bytes> sent;
    std::vector<int> progress;
    int handOvers = 0;
    link.setOutputSink([&](const juce::MidiMessage& m) {
        sent.emplace_back(m.getRawData(), m.getRawData() + m.getRawDataSize());
    });
    link.setReportObserver([&](int percent, bool handOver) {
        if (handOver)
            ++handOvers;
        else
            progress.push_back(percent);
    });

    // An output of its own, so that the messages can come in while it is
    // reopened.
    std::vector<Bytes> messages;
    bool handledEarly = false;
    link.setDeviceLists({}, {juce::MidiDeviceInfo("output", "output")});
    link.setOutputStandIn([&](const juce::String&, bool open) {
        if (open || messages.empty())
            return;
        const size_t sentAtStart = sent.size();
        const bool connectedAtStart = link.m_bConnected;
        for (const auto& m : messages)
            arrive(link, m);
        handledEarly = sent.size() != sentAtStart || !progress.empty() || handOvers != 0
                       || link.m_bConnected != connectedAtStart;
    });
    link.openMIDIPort();

    // Bring the link into its state with messages a real unit sends.
    link.m_bConnected = true;
    if (state == 1)
    {
        link.m_bConnected = false;
        link.sendDevInqRequest();
    }
    else if (state == 2)
    {
        link.startRxAllProg();
        for (int p = 0; p < reached; ++p)
            deliver(link, dumpOf(gBlock, p));
    }
    else if (state == 3)
    {
        std::memcpy(link.m_ucTxProgData, gTxBlock, sizeof(gTxBlock));
        link.startTxAllProg();
        const Bytes done = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x23, 0xF7};
        for (int p = 0; p < reached; ++p)
            deliver(link, done);
        check(link.m_iTxProgNo == reached && link.m_bTxAllProg);
    }
    unsigned char rxBefore[kProgDumpBlockSize];
    std::memcpy(rxBefore, link.m_ucRxProgData, sizeof(rxBefore));
    const bool connectedBefore = link.m_bConnected;
    const size_t sentBefore = sent.size();
    const int txBefore = link.m_iTxProgNo;
    progress.clear();

    // The fuzzed messages.
    bool replyStart = false, wholeReply = false;
    size_t pos = 2;
    while (pos < size)
    {
        size_t len = data[pos++];
        if (len > size - pos)
            len = size - pos;
        if (len == 0)
            continue;
        const Bytes m(data + pos, data + pos + len);
        pos += len;
        replyStart = replyStart || beginsAsIdentityReply(m);
        wholeReply = wholeReply || (beginsAsIdentityReply(m) && m.size() == kIdentityReplySize && m.back() == 0xF7);
        messages.push_back(m);
    }
    if (whilePortsChange)
    {
        link.openMIDIPort();
        check(!handledEarly);
        link.handleArrivedNow();
    }
    else
        for (const auto& m : messages)
            deliver(link, m);
    check(!handledEarly);

    // The receive buffer: as before, or one complete reception.
    check(handOvers <= 1);
    if (handOvers == 0)
        check(std::memcmp(rxBefore, link.m_ucRxProgData, sizeof(rxBefore)) == 0);
    else
    {
        check(state == 2);
        for (int p = 0; p < kUserProgCount; ++p)
        {
            const unsigned char* r = link.m_ucRxProgData + p * kProgDumpSize;
            check(std::memcmp(r, gBlock, 7) == 0 && r[8] == p && r[kProgDumpSize - 1] == 0xF7);
            if (p < reached)
                check(std::memcmp(r, gBlock + p * kProgDumpSize, kProgDumpSize) == 0);
        }
    }

    check(std::memcmp(link.m_ucTxProgData, gTxBlock, sizeof(gTxBlock)) == 0 || state != 3);
    if (!connectedBefore && link.m_bConnected)
        check(replyStart);
    if (wholeReply)
        check(link.m_bConnected);

    for (size_t i = 0; i < progress.size(); ++i)
        check(progress[i] >= 1 && progress[i] <= 100 && (i == 0 || progress[i] > progress[i - 1]));

    // A transmission sends the next record for each acknowledgement, and
    // nothing else; the other states send only dump requests for what comes next.
    if (state == 3)
    {
        check(link.m_iTxProgNo >= txBefore && link.m_iTxProgNo <= kUserProgCount);
        check(sent.size() - sentBefore == (size_t) std::min(link.m_iTxProgNo, kUserProgCount - 1) - (size_t) std::min(txBefore, kUserProgCount - 1));
        for (size_t i = sentBefore; i < sent.size(); ++i)
            check(sent[i] == dumpOf(gTxBlock, txBefore + 1 + (int) (i - sentBefore)));
    }
    else
    {
        for (size_t i = sentBefore; i < sent.size(); ++i)
            check(sent[i].size() == 10 && sent[i][6] == 0x1C && sent[i][8] <= kUserProgCount - 1);
    }
    link.setOutputSink(nullptr);
    link.setOutputStandIn(nullptr);
    link.setReportObserver(nullptr);
    return 0;
}
