// The device link's conversation with the unit: the bytes it sends, finding
// the unit, receiving and transmitting all programs in lock-step, and what
// faulty or unasked-for messages must not do. The unit is the emulated one,
// answering from its own thread; the main thread keeps the message loop
// running while it waits, since the link's handler needs the message thread.
#include "CMidiSetupComponent.h"
#include "EmulatedUnit.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <thread>

namespace
{
using Bytes = EmulatedUnit::Bytes;

constexpr int kWait = 10000; // generous: only a broken chain waits this long

Bytes block(const unsigned char* data) { return Bytes(data, data + kProgDumpBlockSize); }

std::vector<int> sequence(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

// A transmit block unlike the unit's programs, with byte 8 of every record
// wrong, so that the sent program numbers are seen to come from the link.
Bytes makeTransmitBlock()
{
    Bytes result;
    juce::Random random(77);
    for (int p = 0; p < kUserProgCount; ++p)
    {
        juce::uint8 packed[37];
        for (auto& b : packed)
            b = (juce::uint8) random.nextInt(128);
        auto dump = EmulatedUnit::programDumpMessage(0x7F, packed);
        result.insert(result.end(), dump.begin(), dump.end());
    }
    return result;
}

Bytes withProgramNumbers(Bytes b)
{
    for (int p = 0; p < kUserProgCount; ++p)
        b[(size_t) (p * kProgDumpSize + 8)] = (juce::uint8) p;
    return b;
}
// A link wired to an emulated unit, recording what the link reports.
struct LinkedUnit
{
    // The link is deleted before the unit (members go in reverse order).
    std::unique_ptr<EmulatedUnit> unit;
    std::unique_ptr<CMidiSetupComponent> link;
    std::vector<int> progress;
    int handOvers = 0;

    LinkedUnit()
    {
        link = std::make_unique<CMidiSetupComponent>();
        unit = std::make_unique<EmulatedUnit>(*link);
        link->openMIDIPort();
        link->setReportObserver([this](int percent, bool handOver) {
            if (handOver)
                ++handOvers;
            else
                progress.push_back(percent);
        });
    }

    void startReception()
    {
        link->startRxAllProg();
        link->sendProgDumpRequest(0);
    }

    // Fills the transmit buffer with makeTransmitBlock and returns it.
    Bytes loadTransmitBlock()
    {
        const Bytes b = makeTransmitBlock();
        std::copy(b.begin(), b.end(), link->m_ucTxProgData);
        return b;
    }

    void expectCompleteReception() const
    {
        EXPECT_EQ(requests(), sequence(0, 99));
        EXPECT_EQ(block(link->m_ucRxProgData), unit->programBlock());
        EXPECT_EQ(progress, sequence(1, 100));
        EXPECT_EQ(handOvers, 1);
    }

    void startTransmission()
    {
        link->m_iTxProgNo = 0;
        link->startTxAllProg();
    }

    // Lets the unit answer everything it has and the link handle every
    // answer, with the message loop running: the unit is idle, and stays so
    // once what the link was posted has been delivered.
    bool settle()
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) kWait;
        while (juce::Time::getMillisecondCounter() < end)
        {
            if (!pumpUntil([this] { return unit->idle(); }, kWait))
                return false;
            const int delivered = unit->deliveriesReturned();
            if (!deliverPosted())
                return false;
            if (unit->idle() && unit->deliveriesReturned() == delivered)
                return true;
        }
        return false;
    }

    // The program numbers of the link's requests and dumps on the wire.
    std::vector<int> sent(juce::uint8 function) const
    {
        std::vector<int> numbers;
        for (const auto& m : unit->received())
            if (m.size() > 8 && m[6] == function)
                numbers.push_back(m[8]);
        return numbers;
    }
    std::vector<int> requests() const { return sent(0x1C); }
    std::vector<int> dumps() const { return sent(0x4C); }
};

} // namespace

//==============================================================================

TEST(DeviceLinkSenders, PutExactlyTheMessageBytesOnTheWire)
{
    CMidiSetupComponent link;
    std::vector<Bytes> wire;
    link.setOutputSink([&](const juce::MidiMessage& m) { wire.push_back(EmulatedUnit::toBytes(m)); });

    unsigned char record[kProgDumpSize];
    for (int i = 0; i < kProgDumpSize; ++i)
        record[i] = (unsigned char) (i % 0x70);
    record[0] = 0x00; // the framing supplies F0 and F7: these two are never read
    record[46] = 0x00;
    Bytes expectedDump(record, record + kProgDumpSize);
    expectedDump[0] = 0xF0;
    expectedDump[8] = 0x05;
    expectedDump[46] = 0xF7;

    unsigned char current[kProgDumpSize];
    for (int i = 0; i < kProgDumpSize; ++i)
        current[i] = (unsigned char) (0x10 + i);
    Bytes expectedCurrent(current, current + kCurProgDumpSize);
    expectedCurrent[0] = 0xF0;
    expectedCurrent[44] = 0xF7;

    struct Case
    {
        const char* name;
        std::function<void()> send;
        Bytes expected;
    };
    const std::vector<Case> cases = {
        {"identity request", [&] { link.sendDevInqRequest(); }, {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
        {"request 0", [&] { link.sendProgDumpRequest(0); },
         {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x1C, 0x20, 0x00, 0xF7}},
        {"request 99", [&] { link.sendProgDumpRequest(99); },
         {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x1C, 0x20, 0x63, 0xF7}},
        {"request takes the low 8 bits", [&] { link.sendProgDumpRequest(0x164); },
         {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x1C, 0x20, 0x64, 0xF7}},
        {"program dump 5", [&] { link.sendProgDumpOut(5, record); }, expectedDump},
        {"current program", [&] { link.sendCurrentProg(current); }, expectedCurrent},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        wire.clear();
        c.send();
        ASSERT_EQ(wire.size(), 1u);
        EXPECT_EQ(wire[0], c.expected);
    }
    EXPECT_EQ(record[8], 0x05) << "the program number is written into the caller's record";
}

TEST(DeviceLinkSenders, WithoutAnOutputSendNothingAndLeaveTheRecordAlone)
{
    CMidiSetupComponent link; // no ports on this machine, no sink
    unsigned char record[kProgDumpSize] = {};
    record[8] = 0x33;
    link.sendDevInqRequest();
    link.sendProgDumpRequest(3);
    link.sendProgDumpOut(7, record);
    link.sendCurrentProg(record);
    EXPECT_EQ(record[8], 0x33);

    // A transmit without output still counts as running.
    link.startTxAllProg();
    EXPECT_TRUE(link.m_bTxAllProg);
    EXPECT_EQ(link.m_ucTxProgData[8], 0x00);
}

TEST(DeviceLink, StartsUnconnectedWithZeroedBuffers)
{
    CMidiSetupComponent link;
    EXPECT_FALSE(link.m_bConnected);
    EXPECT_FALSE(link.m_bTxAllProg);
    EXPECT_EQ(block(link.m_ucRxProgData), Bytes(kProgDumpBlockSize, 0));
    EXPECT_EQ(block(link.m_ucTxProgData), Bytes(kProgDumpBlockSize, 0));
}

TEST(DeviceLink, OnlyTheUnitsIdentityReplyConnects)
{
    auto replyWith = [](int index, juce::uint8 value) {
        auto r = EmulatedUnit::standardIdentityReply();
        r[(size_t) index] = value;
        return r;
    };
    struct Case
    {
        const char* name;
        Bytes reply;
        bool connects;
    };
    const std::vector<Case> cases = {
        {"the unit's reply", EmulatedUnit::standardIdentityReply(), true},
        {"other member and revision bytes",
         {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x10, 0x01, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0xF7}, true},
        {"device byte 01", replyWith(2, 0x01), false},
        {"manufacturer 41", replyWith(5, 0x41), false},
        {"family 10 02", replyWith(7, 0x02), false},
        {"family 11 01", replyWith(6, 0x11), false},
        {"identity request echoed", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, false},
        {"cut short inside the tested bytes", {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0xF7}, false},
        {"bare universal message", {0xF0, 0x7E, 0xF7}, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        LinkedUnit t;
        t.unit->setIdentityReply(c.reply);
        t.link->sendDevInqRequest();
        t.link->sendDevInqRequest(); // a repeated reply changes nothing
        ASSERT_TRUE(t.settle());
        EXPECT_EQ(t.unit->deliveriesReturned(), 2);
        EXPECT_EQ(t.link->m_bConnected, c.connects);
        EXPECT_TRUE(t.progress.empty());
    }
}

TEST(DeviceLink, ReceptionFetchesAllProgramsInLockStep)
{
    struct Case
    {
        const char* name;
        bool noise;
        int delay;
    };
    for (const auto& c : {Case{"clean line", false, 0}, Case{"notes and controllers between", true, 0},
                          Case{"slow unit", false, 1}})
    {
        SCOPED_TRACE(c.name);
        LinkedUnit t;
        t.unit->setNoiseBetween(c.noise);
        t.unit->setReplyDelay(c.delay);
        t.startReception();
        ASSERT_TRUE(pumpUntil([&] { return t.handOvers > 0; }, kWait));
        ASSERT_TRUE(t.settle());

        t.expectCompleteReception();
        EXPECT_EQ(t.unit->received().size(), 100u) << "nothing but the requests was sent";
    }
}

TEST(DeviceLink, TransmissionSendsAllProgramsInLockStep)
{
    LinkedUnit t;
    const Bytes sentBlock = t.loadTransmitBlock();
    t.startTransmission();
    ASSERT_TRUE(pumpUntil([&] { return !t.link->m_bTxAllProg; }, kWait));
    ASSERT_TRUE(t.settle());

    EXPECT_EQ(t.dumps(), sequence(0, 99));
    EXPECT_EQ(t.unit->programBlock(), withProgramNumbers(sentBlock));
    EXPECT_EQ(t.progress, sequence(1, 100));
    EXPECT_EQ(t.link->m_iTxProgNo, 100);
    EXPECT_EQ(t.handOvers, 0);

    // A 101st acknowledgement finds the transmit idle.
    t.unit->inject(EmulatedUnit::dataLoadCompleted());
    ASSERT_TRUE(t.settle());
    EXPECT_EQ(t.unit->received().size(), 100u);
    EXPECT_EQ(t.progress.size(), 100u);
    EXPECT_EQ(t.link->m_iTxProgNo, 100);
}

TEST(DeviceLink, AUnitThatFallsSilentAndAnswersLateContinuesTheChain)
{
    for (const bool receiving : {true, false})
    {
        SCOPED_TRACE(receiving ? "reception" : "transmission");
        LinkedUnit t;
        const Bytes sentBlock = t.loadTransmitBlock();
        t.unit->goSilentAfter(30);
        if (receiving)
            t.startReception();
        else
            t.startTransmission();
        ASSERT_TRUE(pumpUntil([&] { return t.unit->heldCount() == 1 && t.unit->idle(); }, kWait));
        EXPECT_TRUE(holdsFor([&] { return t.progress.size() == 30 && t.handOvers == 0; }, 50));

        // Stalled after 30 answers: the 31st message waits for its answer.
        EXPECT_EQ(receiving ? t.requests() : t.dumps(), sequence(0, 30));
        EXPECT_EQ(t.progress, sequence(1, 30));
        EXPECT_EQ(t.handOvers, 0);
        EXPECT_EQ(block(t.link->m_ucRxProgData), Bytes(kProgDumpBlockSize, 0)) << "nothing handed over early";

        t.unit->answerLate();
        ASSERT_TRUE(pumpUntil([&] { return t.progress.size() == 100u; }, kWait));
        ASSERT_TRUE(t.settle());
        if (receiving)
            t.expectCompleteReception();
        else
        {
            EXPECT_EQ(t.progress, sequence(1, 100));
            EXPECT_EQ(t.dumps(), sequence(0, 99));
            EXPECT_EQ(t.unit->programBlock(), withProgramNumbers(sentBlock));
            EXPECT_FALSE(t.link->m_bTxAllProg);
        }
    }
}

// A message that arrives while a reception or transmission waits for the
// unit (or while nothing runs) and that is not the answer expected changes
// nothing: no buffer, no counter, no progress, nothing sent.
TEST(DeviceLink, UnexpectedOrMalformedMessagesChangeNothing)
{
    enum class Mode
    {
        Idle,
        Receiving,
        Transmitting
    };
    auto dump = [](int p) {
        const juce::uint8 packed[37] = {0x11, 0x22, 0x33};
        return EmulatedUnit::programDumpMessage(p, packed);
    };
    auto changed = [](Bytes m, size_t index, juce::uint8 value) {
        m[index] = value;
        return m;
    };
    auto truncated = dump(0);
    truncated.resize(30);
    truncated.push_back(0xF7);
    auto overLong = dump(0);
    overLong.insert(overLong.end() - 1, 0x00);

    struct Case
    {
        const char* name;
        Mode mode;
        Bytes message;
    };
    const std::vector<Case> cases = {
        {"dump 0 while no reception runs", Mode::Idle, dump(0)},
        {"dump 57 while no reception runs", Mode::Idle, dump(57)},
        {"dump 99 while no reception runs", Mode::Idle, dump(99)},
        {"acknowledgement while no transmit runs", Mode::Idle, EmulatedUnit::dataLoadCompleted()},
        {"dump of a program not asked for", Mode::Receiving, dump(1)},
        {"dump 99 out of turn", Mode::Receiving, dump(99)},
        {"dump 100", Mode::Receiving, dump(100)},
        {"dump 127", Mode::Receiving, dump(127)},
        {"dump 255", Mode::Receiving, changed(dump(0), 8, 0xFF)},
        {"truncated dump", Mode::Receiving, truncated},
        {"over-long dump", Mode::Receiving, overLong},
        {"dump without its F7", Mode::Receiving, changed(dump(0), 46, 0x00)},
        {"header only", Mode::Receiving, {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0xF7}},
        {"header cut short", Mode::Receiving, {0xF0, 0x42, 0x30, 0xF7}},
        {"empty system exclusive", Mode::Receiving, {0xF0, 0xF7}},
        {"manufacturer 41", Mode::Receiving, changed(dump(0), 1, 0x41)},
        {"byte 2 not 30", Mode::Receiving, changed(dump(0), 2, 0x31)},
        {"other function byte", Mode::Receiving, changed(dump(0), 6, 0x4D)},
        {"acknowledgement during a reception", Mode::Receiving, EmulatedUnit::dataLoadCompleted()},
        {"note on", Mode::Receiving, {0x90, 0x40, 0x7F}},
        {"controller", Mode::Transmitting, {0xB0, 0x07, 0x10}},
        {"dump during a transmit", Mode::Transmitting, dump(1)},
        {"acknowledgement from another device", Mode::Transmitting, changed(EmulatedUnit::dataLoadCompleted(), 1, 0x41)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        LinkedUnit t;
        t.unit->goSilentAfter(0); // the unit answers nothing on its own
        std::fill(std::begin(t.link->m_ucRxProgData), std::end(t.link->m_ucRxProgData), 0xA5);
        std::fill(std::begin(t.link->m_ucTxProgData), std::end(t.link->m_ucTxProgData), 0x5A);
        if (c.mode == Mode::Receiving)
            t.startReception();
        if (c.mode == Mode::Transmitting)
            t.startTransmission();
        ASSERT_TRUE(t.settle());
        const size_t sentBefore = t.unit->received().size();
        const Bytes txBefore = block(t.link->m_ucTxProgData);

        t.unit->inject(c.message);
        ASSERT_TRUE(t.settle());
        EXPECT_EQ(t.unit->deliveriesReturned(), 1);
        EXPECT_EQ(t.unit->received().size(), sentBefore);
        EXPECT_TRUE(t.progress.empty());
        EXPECT_EQ(t.handOvers, 0);
        EXPECT_EQ(block(t.link->m_ucRxProgData), Bytes(kProgDumpBlockSize, 0xA5));
        EXPECT_EQ(block(t.link->m_ucTxProgData), txBefore);
        EXPECT_EQ(t.link->m_iTxProgNo, 0);
        EXPECT_FALSE(t.link->m_bConnected);
    }
}

// A faulty dump from the unit stalls a reception where it happened and never
// reaches the receive buffer; a duplicated one is taken once.
TEST(DeviceLink, FaultyDumpsInAReceptionNeverReachTheBuffer)
{
    using Fault = EmulatedUnit::DumpFault;
    struct Case
    {
        const char* name;
        Fault fault;
        bool completes;
    };
    for (const auto& c : {Case{"truncated", Fault::Truncated, false}, Case{"over-long", Fault::OverLong, false},
                          Case{"unterminated", Fault::Unterminated, false},
                          Case{"duplicated", Fault::Duplicated, true}})
    {
        SCOPED_TRACE(c.name);
        LinkedUnit t;
        t.unit->setDumpFault(10, c.fault);
        t.startReception();
        if (c.completes)
            ASSERT_TRUE(pumpUntil([&] { return t.handOvers > 0; }, kWait));
        ASSERT_TRUE(t.settle());
        ASSERT_TRUE(deliverPosted());

        if (c.completes)
            t.expectCompleteReception();
        else
        {
            EXPECT_EQ(t.requests(), sequence(0, 10));
            EXPECT_EQ(t.progress, sequence(1, 10));
            EXPECT_EQ(block(t.link->m_ucRxProgData), Bytes(kProgDumpBlockSize, 0));
            EXPECT_EQ(t.handOvers, 0);
        }
    }
}

// A reception and a transmission running at once each advance only on their
// own answers. The unit answers in order, so each program is fetched right
// after it was stored: the reception brings back exactly what was sent.
TEST(DeviceLink, ReceptionAndTransmissionNeverMix)
{
    LinkedUnit t;
    const Bytes sentBlock = t.loadTransmitBlock();
    t.startTransmission();
    t.startReception();
    ASSERT_TRUE(pumpUntil([&] { return t.handOvers > 0 && !t.link->m_bTxAllProg; }, kWait));
    ASSERT_TRUE(t.settle());

    EXPECT_EQ(t.dumps(), sequence(0, 99));
    EXPECT_EQ(t.requests(), sequence(0, 99));
    EXPECT_EQ(t.link->m_iTxProgNo, 100);
    EXPECT_EQ(t.progress.size(), 200u);
    EXPECT_EQ(t.handOvers, 1);
    EXPECT_EQ(block(t.link->m_ucRxProgData), withProgramNumbers(sentBlock));
}

TEST(DeviceLink, TheUnitTakesTheCurrentProgram)
{
    LinkedUnit t;
    unsigned char current[kProgDumpSize] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40};
    for (int i = 7; i < 44; ++i)
        current[i] = (unsigned char) (i * 3 % 128);
    current[44] = 0xF7;
    t.link->sendCurrentProg(current);
    ASSERT_TRUE(t.settle());
    EXPECT_EQ(t.unit->currentProgram(), Bytes(current + 7, current + 44));
    EXPECT_EQ(t.unit->deliveriesReturned(), 0) << "a current program asks for no answer";
}

//==============================================================================
// The handler runs on the backend's delivering thread: the ALSA client's
// input thread, or WinMM's driver callback, which must neither call the
// multimedia functions (send) nor wait for anything that needs the message
// thread. Here the main thread, which is the message thread, does not
// dispatch while the unit floods the input with everything the exchange
// acts on; every delivery must still return, and closing the ports under
// the flood too.

namespace
{
const juce::uint8 kPacked[37] = {};
const std::vector<Bytes> kUnitFlood = {EmulatedUnit::standardIdentityReply(),
                                       EmulatedUnit::programDumpMessage(0, kPacked),
                                       EmulatedUnit::dataLoadCompleted(),
                                       {0x90, 0x40, 0x7F}};

// Waits, without dispatching, until the unit has delivered `count` more
// messages than it had.
bool deliveriesReturnWithoutTheMessageThread(const EmulatedUnit& unit, int count)
{
    const int from = unit.deliveriesReturned();
    return waitUntil([&] { return unit.deliveriesReturned() >= from + count; }, kWait);
}
} // namespace

TEST(DeviceLinkDelivery, NeverWaitsForTheMessageThreadAndPortsCloseUnderAFlood)
{
    struct Case
    {
        const char* name;
        std::function<void(LinkedUnit&)> close;
        bool linkLives;
    };
    const std::vector<Case> cases = {
        {"OK button", [](LinkedUnit& t) { t.link->buttonClicked(t.link->m_pOKButton); }, true},
        {"reopening the ports", [](LinkedUnit& t) { t.link->openMIDIPort(); }, true},
        {"destruction", [](LinkedUnit& t) { t.link.reset(); }, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        LinkedUnit t;
        t.link->startRxAllProg();
        t.link->startTxAllProg();
        const size_t sentBefore = t.unit->received().size();
        t.unit->startFlood(kUnitFlood);
        ASSERT_TRUE(deliveriesReturnWithoutTheMessageThread(*t.unit, 400));
        {
            Watchdog watchdog(c.name);
            c.close(t);
        }
        EXPECT_TRUE(deliveriesReturnWithoutTheMessageThread(*t.unit, c.linkLives ? 400 : 0));
        if (!c.linkLives)
        {
            // What arrived while the link was deleted is never handled.
            t.unit->stopFlood();
            EXPECT_TRUE(holdsFor([&] { return t.progress.empty() && t.handOvers == 0; }, 50));
            continue;
        }

        // The flood is handled once the message thread dispatches again.
        EXPECT_TRUE(pumpUntil([&] { return t.link->m_bConnected && !t.progress.empty(); }, kWait));
        t.unit->stopFlood();
        ASSERT_TRUE(t.settle());
        EXPECT_EQ(t.unit->sendsFromDeliveries(), 0) << "nothing is sent from inside a delivery";
        const auto sent = t.unit->received();
        const bool askedAgain = std::count(sent.begin() + (long) sentBefore, sent.end(),
                                           Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}) == 1;
        EXPECT_EQ(askedAgain, std::string(c.name) == "OK button") << "OK asks for the unit once";
    }
}

// OK pressed again and again with the ports unchanged while the unit floods
// the input: every press returns, the input never goes deaf (the ALSA
// client's one input thread is never asked to end), and after each press
// the unit is heard and a whole reception completes beside the flood.
TEST(DeviceLinkDelivery, OkUnderAFloodNeverLeavesTheInputDeaf)
{
    LinkedUnit t;
    t.unit->startFlood({{0x90, 0x40, 0x7F}, {0x80, 0x40, 0x00}});
    for (int press = 1; press <= 5; ++press)
    {
        SCOPED_TRACE(press);
        ASSERT_TRUE(deliveriesReturnWithoutTheMessageThread(*t.unit, 50));
        {
            Watchdog watchdog("OK button");
            t.link->buttonClicked(t.link->m_pOKButton);
        }
        EXPECT_TRUE(pumpUntil([&] { return t.link->m_bConnected; }, kWait));
        // Long enough for an input thread that was asked to end to be gone.
        EXPECT_TRUE(holdsFor([&] { return !t.unit->inputDeaf(); }, 2 * EmulatedUnit::kInputThreadExitMs));
        t.startReception();
        EXPECT_TRUE(pumpUntil([&] { return t.handOvers == press; }, kWait));
        EXPECT_FALSE(t.unit->inputDeaf());
    }
    t.unit->stopFlood();
    ASSERT_TRUE(t.settle());
    EXPECT_EQ(block(t.link->m_ucRxProgData), t.unit->programBlock());
    EXPECT_EQ(t.progress.size(), 500u);
}

// What arrives while the ports change is handled on the message thread, in
// arrival order, once they are open, and not before. Here it comes in while
// the output is closed for reopening: the unit's identity reply, the dump
// that the reception waits for and the one after it, with a note, a copy
// and another maker's messages between them; those come to more than the
// link keeps of what arrives, so none of them may take the unit's place.
TEST(DeviceLinkDelivery, WhatArrivesWhileThePortsChangeIsHandledInArrivalOrderOnceTheyAreOpen)
{
    LinkedUnit t;
    t.unit->goSilentAfter(0); // the unit answers nothing on its own
    t.link->startRxAllProg();
    Bytes foreign(1024, 0x11);
    foreign.front() = 0xF0;
    foreign[1] = 0x43;
    foreign.back() = 0xF7;
    std::vector<Bytes> arriving = {EmulatedUnit::standardIdentityReply()};
    arriving.insert(arriving.end(), 100, foreign);
    for (const Bytes& m : {t.unit->programDump(0), Bytes{0x90, 0x40, 0x7F}, t.unit->programDump(1),
                           t.unit->programDump(1), Bytes{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
                           Bytes{0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x41, 0x05, 0x00, 0xF7}})
        arriving.push_back(m);
    bool handledEarly = true;
    t.link->setOutputStandIn([&](const juce::String&, bool open) {
        if (open)
            return;
        for (const auto& m : arriving)
            t.link->handleIncomingMidiMessage(nullptr, juce::MidiMessage(m.data(), (int) m.size()));
        handledEarly = t.link->m_bConnected || !t.progress.empty() || !t.unit->received().empty();
    });
    t.link->openMIDIPort();
    t.link->setOutputStandIn(nullptr);
    EXPECT_FALSE(handledEarly);

    EXPECT_TRUE(pumpUntil([&] { return t.progress.size() == 2; }, kWait));
    EXPECT_TRUE(t.link->m_bConnected);
    EXPECT_EQ(t.progress, (std::vector<int>{1, 2}));
    EXPECT_EQ(t.requests(), (std::vector<int>{1, 2}));
    EXPECT_EQ(Bytes(t.link->m_ucRxProgData, t.link->m_ucRxProgData + kProgDumpSize), Bytes(kProgDumpSize, 0))
        << "nothing handed over before program 99";
}
