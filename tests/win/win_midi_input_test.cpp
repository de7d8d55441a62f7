// The Windows program's own WinMM input against the layer's stand-in driver,
// which behaves as Wine's ALSA driver does: headers are flagged done when
// filled, their notifications delivered later on one notify thread.
#include "CWinMidiInput.h"
#include "WinMidiLayer.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#if !defined(_WIN32)
namespace
{
using Bytes = std::vector<juce::uint8>;

constexpr int kWaitMs = 10000;
const juce::String kUnitId = "\\\\?\\swd#mmdevapi#kestrum-qx-1";
const juce::String kOtherId = "Other MIDI In";

bool waitFor(const std::function<bool()>& condition, int timeoutMs = kWaitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

Bytes dump(int program)
{
    Bytes m = {0xf0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4c, 0x20, (juce::uint8) program};
    for (int i = 0; i < 37; ++i)
        m.push_back((juce::uint8)((program * 7 + i) & 0x7f));
    m.push_back(0xf7);
    return m;
}

// F0, size - 2 data bytes, F7.
Bytes sysEx(int size, int seed = 0)
{
    Bytes m(1, 0xf0);
    for (int i = 0; i < size - 2; ++i)
        m.push_back((juce::uint8)((i + seed) & 0x7f));
    m.push_back(0xf7);
    return m;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Messages as short texts for comparison: the length, the first bytes and a
// hash of all of them.
std::vector<std::string> texts(const std::vector<Bytes>& messages)
{
    std::vector<std::string> out;
    for (const auto& m : messages)
    {
        juce::String t;
        t << (int) m.size() << " bytes:";
        for (size_t i = 0; i < std::min<size_t>(m.size(), 10); ++i)
            t << " " << juce::String::toHexString((int) m[i]).paddedLeft('0', 2);
        if (m.size() > 10)
            t << " .. #" << juce::String::toHexString((juce::int64) juce::MemoryBlock(m.data(), m.size()).toBase64Encoding().hashCode64());
        out.push_back(t.toStdString());
    }
    return out;
}

// One thread of the device's own, as the system's sequencer hands events to
// the driver.
bool sendSysEx(const Bytes& bytes) { return WinMidiLayer::receiveSysEx(0, bytes.data(), bytes.size()); }

bool sendShort(const Bytes& bytes)
{
    return WinMidiLayer::receiveShort(0, bytes[0], bytes.size() > 1 ? bytes[1] : 0, bytes.size() > 2 ? bytes[2] : 0);
}

// Records every delivery; onMessage runs inside it (on the driver's thread).
class Recorder : public juce::MidiInputCallback
{
public:
    void handleIncomingMidiMessage(juce::MidiInput* source, const juce::MidiMessage& message) override
    {
        const auto* raw = message.getRawData();
        Bytes bytes(raw, raw + message.getRawDataSize());
        size_t index;
        {
            std::lock_guard<std::mutex> l(m_lock);
            index = m_messages.size();
            m_messages.push_back(bytes);
            m_sources.push_back(source);
        }
        if (onMessage)
            onMessage(index);
        std::lock_guard<std::mutex> l(m_lock);
        ++m_finished;
    }

    std::vector<Bytes> messages() const
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_messages;
    }
    std::vector<juce::MidiInput*> sources() const
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_sources;
    }
    size_t finished() const
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_finished;
    }

    std::function<void(size_t index)> onMessage;

private:
    mutable std::mutex m_lock;
    std::vector<Bytes> m_messages;
    std::vector<juce::MidiInput*> m_sources;
    size_t m_finished = 0;
};

// Holds a delivery inside the handler until the test opens it.
class Gate
{
public:
    void enterAndWait()
    {
        std::unique_lock<std::mutex> l(m_lock);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait_for(l, std::chrono::milliseconds(kWaitMs), [this] { return m_open; });
    }
    bool waitEntered()
    {
        std::unique_lock<std::mutex> l(m_lock);
        return m_changed.wait_for(l, std::chrono::milliseconds(kWaitMs), [this] { return m_entered; });
    }
    void open()
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_open = false;
};

class WinMidiInput : public ::testing::Test
{
protected:
    WinMidiInput()
    {
        WinMidiLayer::releaseNotifications();
        WinMidiLayer::clearStuckSeen();
        juce::Array<juce::MidiDeviceInfo> devices;
        devices.add({"QX unit out - Kestrum QX MIDI 1", kUnitId});
        devices.add({"Other", kOtherId});
        EXPECT_TRUE(WinMidiLayer::setDevices(devices));
    }

    ~WinMidiInput() override
    {
        WinMidiLayer::releaseNotifications();
        m_input.reset();
        EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
        EXPECT_FALSE(WinMidiLayer::stuckSeen()) << "a driver call waited for the driver's own thread";
        EXPECT_FALSE(WinMidiLayer::isOpen(0));
    }

    void open()
    {
        m_input = CWinMidiInput::openDevice(kUnitId, &m_recorder);
        ASSERT_NE(m_input, nullptr);
    }

    // Everything sent has been delivered and every header is back with the
    // driver.
    void expectSettled()
    {
        EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
        EXPECT_TRUE(waitFor([] { return WinMidiLayer::queuedHeaders(0) == CWinMidiInput::kHeaderCount; }))
            << WinMidiLayer::queuedHeaders(0) << " headers queued";
    }

    // Waits until the driver holds enough headers for size bytes.
    static bool headersFor(size_t size)
    {
        const int needed = (int) (size / CWinMidiInput::kHeaderBytes) + 1;
        return waitFor([needed] { return WinMidiLayer::queuedHeaders(0) >= needed; });
    }

    Recorder m_recorder;
    std::unique_ptr<CWinMidiInput> m_input;
};
} // namespace

TEST_F(WinMidiInput, OpensTheDeviceOfItsIdentifierOnceAtATime)
{
    EXPECT_EQ(CWinMidiInput::openDevice("QX unit out - Kestrum QX MIDI 1", &m_recorder), nullptr)
        << "the name is not the identifier";
    EXPECT_EQ(CWinMidiInput::openDevice(kUnitId, nullptr), nullptr);
    open();
    EXPECT_TRUE(WinMidiLayer::isOpen(0));
    EXPECT_FALSE(WinMidiLayer::isOpen(1));
    EXPECT_EQ(CWinMidiInput::openDevice(kUnitId, &m_recorder), nullptr) << "a second open of an open device";

    Recorder other;
    auto second = CWinMidiInput::openDevice(kOtherId, &other);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(WinMidiLayer::isOpen(1));
    EXPECT_NE(second->source(), m_input->source());
    second.reset();
    EXPECT_FALSE(WinMidiLayer::isOpen(1));

    // The failed open left the open input as it was.
    ASSERT_TRUE(sendSysEx(dump(3)));
    expectSettled();
    EXPECT_EQ(texts(m_recorder.messages()), texts({dump(3)}));

    // Closed, the device is given back whole and opens again.
    juce::MidiInput* const firstSource = m_input->source();
    m_input.reset();
    EXPECT_FALSE(WinMidiLayer::isOpen(0));
    EXPECT_EQ(WinMidiLayer::queuedHeaders(0), 0);
    EXPECT_FALSE(sendSysEx(dump(4)));
    open();
    ASSERT_TRUE(sendSysEx(dump(5)));
    expectSettled();
    EXPECT_EQ(texts(m_recorder.messages()), texts({dump(3), dump(5)}));
    EXPECT_EQ(m_recorder.sources(), (std::vector<juce::MidiInput*>{firstSource, m_input->source()}));
}

// The driver flags a header done when it fills it; a message that completes
// while an earlier message's callback still runs must not be emptied before
// its own notification is delivered.
TEST_F(WinMidiInput, DeliversWhatCompletesWhileAnEarlierCallbackRuns)
{
    struct Case
    {
        const char* name;
        Bytes first;                  // its callback is held
        std::vector<Bytes> meanwhile; // sent while it is held
    };
    const Case cases[] = {
        {"the next dump", dump(0), {dump(1)}},
        {"five dumps", dump(0), {dump(1), dump(2), dump(3), dump(4), dump(5)}},
        {"a dump after a note's callback", {0x90, 0x40, 0x7f}, {dump(7)}},
        {"a long message over two headers", dump(0), {sysEx(CWinMidiInput::kHeaderBytes + 300)}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_recorder.onMessage = nullptr;
        m_input.reset();
        Recorder fresh;
        Gate gate;
        fresh.onMessage = [&gate](size_t index) {
            if (index == 0)
                gate.enterAndWait();
        };
        m_input = CWinMidiInput::openDevice(kUnitId, &fresh);
        ASSERT_NE(m_input, nullptr);

        ASSERT_TRUE(c.first[0] == 0xf0 ? sendSysEx(c.first) : sendShort(c.first));
        ASSERT_TRUE(gate.waitEntered());
        for (const auto& m : c.meanwhile)
            ASSERT_TRUE(sendSysEx(m));
        gate.open();

        std::vector<Bytes> expected{c.first};
        expected.insert(expected.end(), c.meanwhile.begin(), c.meanwhile.end());
        EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
        EXPECT_EQ(texts(fresh.messages()), texts(expected));
        EXPECT_TRUE(waitFor([] { return WinMidiLayer::queuedHeaders(0) == CWinMidiInput::kHeaderCount; }));
        m_input.reset();
    }
}

TEST_F(WinMidiInput, DeliversEveryMessageOnceAndInOrder)
{
    open();
    std::atomic<int> work{0};
    m_recorder.onMessage = [&work](size_t index) {
        // Some callbacks take a while, so that messages complete during them.
        for (int i = 0; i < (int) (index % 7) * 2000; ++i)
            work.fetch_add(1, std::memory_order_relaxed);
    };

    juce::Random random(25);
    std::vector<Bytes> sent;
    for (int round = 0; round < 60; ++round)
    {
        // Every third round piles up a burst behind a held notify thread.
        const bool held = round % 3 == 0;
        if (held)
        {
            // 12 messages of up to two headers each find room.
            ASSERT_TRUE(waitFor([] { return WinMidiLayer::queuedHeaders(0) == CWinMidiInput::kHeaderCount; }));
            WinMidiLayer::holdNotifications();
        }
        const int count = held ? 12 : 40;
        for (int i = 0; i < count; ++i)
        {
            Bytes m;
            switch (random.nextInt(6))
            {
                case 0: m = {0x90, (juce::uint8) random.nextInt(128), (juce::uint8) random.nextInt(128)}; break;
                case 1: m = {0xc0, (juce::uint8) random.nextInt(128)}; break;
                case 2: m = {0xf8}; break;
                case 3: m = sysEx(CWinMidiInput::kHeaderBytes + random.nextInt(CWinMidiInput::kHeaderBytes), round); break;
                default: m = dump(random.nextInt(100)); break;
            }
            if (m[0] == 0xf0)
            {
                if (!held)
                    ASSERT_TRUE(headersFor(m.size()));
                // Now and then in two events, as a sequencer may split it.
                if (random.nextBool())
                {
                    const size_t cut = 1 + (size_t) random.nextInt((int) m.size() - 1);
                    ASSERT_TRUE(WinMidiLayer::receiveSysEx(0, m.data(), cut));
                    ASSERT_TRUE(WinMidiLayer::receiveSysEx(0, m.data() + cut, m.size() - cut));
                }
                else
                    ASSERT_TRUE(sendSysEx(m));
            }
            else
                ASSERT_TRUE(sendShort(m));
            sent.push_back(m);
        }
        if (held)
            WinMidiLayer::releaseNotifications();
    }
    expectSettled();
    const auto got = m_recorder.messages();
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i)
        ASSERT_EQ(texts({got[i]}), texts({sent[i]})) << "message " << i;
    for (auto* s : m_recorder.sources())
        ASSERT_EQ(s, m_input->source());
}

TEST_F(WinMidiInput, GathersEachSystemExclusiveMessageWhole)
{
    const int H = CWinMidiInput::kHeaderBytes;
    const int kMax = CWinMidiInput::kMaxSysExBytes;
    // An event is a piece of system-exclusive bytes, or a short message (a
    // first byte other than F0 and not inside a message: see 'shortAt').
    struct Event
    {
        Bytes bytes;
        bool isShort = false;
    };
    struct Case
    {
        const char* name;
        std::vector<Event> events;
        std::vector<Bytes> expected;
    };
    const Bytes note = {0x90, 0x3c, 0x40};
    const Bytes clock = {0xf8};
    const Bytes big = sysEx(H + 500);
    const Bytes d9 = dump(9);
    const Case cases[] = {
        {"one dump", {{dump(9)}}, {dump(9)}},
        {"a dump in three events", {{Bytes(d9.begin(), d9.begin() + 10)}, {Bytes(d9.begin() + 10, d9.begin() + 30)}, {Bytes(d9.begin() + 30, d9.end())}}, {dump(9)}},
        {"a message that fills one header exactly", {{sysEx(H)}}, {sysEx(H)}},
        {"one byte more: two headers", {{sysEx(H + 1)}}, {sysEx(H + 1)}},
        {"over three headers", {{sysEx(2 * H + 700)}}, {sysEx(2 * H + 700)}},
        {"two messages in one event", {{join({dump(1), dump(2)})}}, {dump(1), dump(2)}},
        {"an F0 ends an unfinished one", {{join({Bytes{0xf0, 0x01, 0x02}, dump(3)})}}, {dump(3)}},
        {"a status byte inside ends it", {{Bytes{0xf0, 0x01, 0x90, 0x02, 0xf7}}, {dump(4)}}, {dump(4)}},
        {"bytes outside a message are not one", {{Bytes{0x01, 0x02, 0xf7}}, {Bytes{0xf7}}, {dump(5)}}, {dump(5)}},
        {"a real-time byte inside is delivered on its own", {{join({Bytes(big.begin(), big.begin() + 100), clock, Bytes(big.begin() + 100, big.end())})}}, {clock, big}},
        {"real time between its headers", {{Bytes(big.begin(), big.begin() + H)}, {clock, true}, {Bytes(big.begin() + H, big.end())}}, {clock, big}},
        {"a note between its headers ends it", {{Bytes(big.begin(), big.begin() + H)}, {note, true}, {Bytes(big.begin() + H, big.end())}, {dump(6)}}, {note, dump(6)}},
        // The driver gives a header only when it is full or ends a message,
        // so a note that comes in between two events of one header's message
        // is delivered first.
        {"a note between two events of one header", {{Bytes(big.begin(), big.begin() + 100)}, {note, true}, {Bytes(big.begin() + 100, big.end())}}, {note, big}},
        {"the longest kept", {{sysEx(kMax)}}, {sysEx(kMax)}},
        {"one byte longer: dropped whole", {{sysEx(kMax + 1)}, {dump(8)}}, {dump(8)}},
        {"far too long", {{sysEx(3 * kMax)}, {dump(8)}}, {dump(8)}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        m_input.reset();
        Recorder fresh;
        m_input = CWinMidiInput::openDevice(kUnitId, &fresh);
        ASSERT_NE(m_input, nullptr);
        for (const auto& e : c.events)
        {
            if (e.isShort)
            {
                ASSERT_TRUE(sendShort(e.bytes));
                continue;
            }
            // In pieces the headers can take: no byte may find none.
            for (size_t at = 0; at < e.bytes.size(); at += (size_t) H / 2)
            {
                const size_t n = std::min(e.bytes.size() - at, (size_t) H / 2);
                ASSERT_TRUE(headersFor(n));
                ASSERT_TRUE(WinMidiLayer::receiveSysEx(0, e.bytes.data() + at, n));
            }
        }
        EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
        EXPECT_EQ(texts(fresh.messages()), texts(c.expected));
        EXPECT_TRUE(waitFor([] { return WinMidiLayer::queuedHeaders(0) == CWinMidiInput::kHeaderCount; }));
        m_input.reset();
    }
}

TEST_F(WinMidiInput, ClosingWaitsForARunningDeliveryAndNothingComesAfter)
{
    Gate gate;
    std::atomic<bool> closed{false};
    std::atomic<bool> deliveredAfterClose{false};
    m_recorder.onMessage = [&](size_t index) {
        if (closed)
            deliveredAfterClose = true;
        if (index == 0)
            gate.enterAndWait();
        if (closed)
            deliveredAfterClose = true;
    };
    open();
    ASSERT_TRUE(sendSysEx(dump(0)));
    ASSERT_TRUE(gate.waitEntered());
    // Queued behind the held delivery and held back until the close is done:
    // then the driver delivers them to an input that has gone.
    WinMidiLayer::holdNotifications();
    ASSERT_TRUE(sendSysEx(dump(1)));
    ASSERT_TRUE(sendShort({0x90, 0x40, 0x7f}));

    std::thread closer([&] {
        m_input.reset();
        closed = true;
    });
    EXPECT_FALSE(waitFor([&] { return closed.load(); }, 200)) << "the close did not wait for the delivery";
    gate.open();
    EXPECT_TRUE(waitFor([&] { return closed.load(); }));
    closer.join();
    WinMidiLayer::releaseNotifications();

    EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
    EXPECT_FALSE(deliveredAfterClose);
    EXPECT_EQ(texts(m_recorder.messages()), texts({dump(0)}));
    EXPECT_EQ(m_recorder.finished(), 1u);
    EXPECT_FALSE(WinMidiLayer::isOpen(0));

    // Closed while the notify thread is held: what it then delivers finds no
    // input.
    Recorder second;
    auto input = CWinMidiInput::openDevice(kUnitId, &second);
    ASSERT_NE(input, nullptr);
    WinMidiLayer::holdNotifications();
    ASSERT_TRUE(sendSysEx(dump(2)));
    ASSERT_TRUE(sendShort({0xf8}));
    ASSERT_TRUE(sendSysEx(Bytes{0xf0, 0x01})); // unfinished, in a queued header
    input.reset();
    EXPECT_EQ(WinMidiLayer::queuedHeaders(0), 0);
    WinMidiLayer::releaseNotifications();
    EXPECT_TRUE(WinMidiLayer::waitUntilDelivered(kWaitMs));
    EXPECT_TRUE(second.messages().empty());
}

// Wine's receive side queues a filled header's notification while it holds
// its header lock, and waits there while the queue (64) is full: a callback
// that called midiInAddBuffer then would wait for it for good.
TEST_F(WinMidiInput, AFullNotifyQueueDoesNotStopTheInput)
{
    open();
    const Bytes twoHeaders = sysEx(CWinMidiInput::kHeaderBytes + 100);
    std::vector<Bytes> expected{dump(0)};
    WinMidiLayer::holdNotifications();
    ASSERT_TRUE(sendSysEx(dump(0)));
    for (int i = 0; i < 63; ++i)
    {
        expected.push_back({0x90, (juce::uint8) i, 0x40});
        ASSERT_TRUE(sendShort(expected.back()));
    }
    expected.push_back(twoHeaders);

    std::atomic<bool> sent{false};
    std::thread device([&] {
        EXPECT_TRUE(sendSysEx(twoHeaders));
        sent = true;
    });
    EXPECT_TRUE(WinMidiLayer::waitUntilReceiveWaitsForRoom(kWaitMs));
    WinMidiLayer::releaseNotifications();
    EXPECT_TRUE(waitFor([&] { return sent.load(); }, 3 * WinMidiLayer::kStuckMs));
    device.join();
    expectSettled();
    EXPECT_FALSE(WinMidiLayer::stuckSeen());
    EXPECT_EQ(texts(m_recorder.messages()), texts(expected));
}
#endif
