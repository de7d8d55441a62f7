#pragma once
#include "KsqxJuce.h"
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class CMidiSetupComponent;

// A Kestrum QX of our own on the other end of the device link, since the test
// machines have no MIDI ports. It takes what the link sends through the
// link's output sink and answers on a thread of its own through the link's
// handleIncomingMidiMessage, as a MIDI input thread does. It stands in for the
// link's input and output ports too, modelled on the ALSA client: a delivery
// holds a lock that opening or closing either port also takes (so a port
// operation waits for the handler run in progress); and one delivering thread
// serves all inputs: closing the last open input makes it end
// kInputThreadExitMs later, an input started before then does not start it
// again, and then nothing is delivered until the last input is closed and
// one opened again after that time. The link's input counts as open from the
// unit's construction. While it floods, opening or closing the output first
// waits (up to a second) until a delivery has begun, as one under continuous
// traffic nearly always finds one under way.
//
// It holds 100 programs, answers the identity request with its identity
// reply, a program dump request with that program's dump, a program dump with
// one data load completed message, and takes a current-program dump as its
// current program. Knobs add the faults a real unit or cable can show.
//
// The link must be deleted before the unit, or disconnect() called first.
class EmulatedUnit
{
public:
    using Bytes = std::vector<juce::uint8>;

    enum class DumpFault
    {
        None,
        Truncated,    // cut short, F7 after byte 39
        OverLong,     // one data byte too many before the F7
        Unterminated, // 47 bytes, but the last is not F7
        Duplicated    // sent twice
    };

    explicit EmulatedUnit(CMidiSetupComponent& link, juce::uint32 programSeed = 1);
    ~EmulatedUnit();

    // Takes the unit's seams out of the link (for a link that outlives it).
    void disconnect();

    // Knobs; each may be turned at any time.
    void setReplyDelay(int milliseconds);
    void setIdentityReply(const Bytes& reply);
    static Bytes standardIdentityReply();
    // Answers after the first `answered` are held back until answerLate().
    void goSilentAfter(int answered);
    void answerLate();
    void setDumpFault(int progNo, DumpFault fault);
    // A note on, a controller and a note off before every answer.
    void setNoiseBetween(bool noise);

    // Sends a message of the unit's own, unasked, from its thread.
    void inject(const Bytes& message);
    // Sends the pattern over and over from its thread until stopFlood().
    void startFlood(const std::vector<Bytes>& pattern);
    void stopFlood();

    // The unit's side, as seen from the test.
    Bytes programDump(int progNo) const;
    Bytes programBlock() const; // its 100 dumps back to back
    Bytes currentProgram() const;
    std::vector<Bytes> received() const; // what the link sent, in order
    int heldCount() const;
    bool idle() const; // nothing queued or being answered (a flood aside)
    int deliveriesReturned() const { return m_deliveriesReturned; }
    bool deliveryInProgress() const { return m_deliveryInProgress; }
    // Time spent inside the link's handler, all runs together.
    std::int64_t handlerNanoseconds() const { return m_handlerNanoseconds; }

    // The delivering thread ended with an input open: the input is deaf.
    bool inputDeaf() const;

    static constexpr int kInputThreadExitMs = 100;

    static Bytes dataLoadCompleted();
    static Bytes programDumpMessage(int progNo, const juce::uint8* packed37);
    static Bytes toBytes(const juce::MidiMessage& message);

private:
    struct Item
    {
        bool fromLink;
        Bytes message;
    };

    void run();
    void takeFromLink(const juce::MidiMessage& message);
    void setInputOpen(bool open);
    void setOutputOpen(bool open);
    bool deliveringThreadGone() const;
    std::vector<Bytes> answer(const Bytes& message); // under m_mutex
    void deliver(const Bytes& message);

    CMidiSetupComponent* m_link;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    bool m_stop = false;
    bool m_busy = false;
    std::vector<Bytes> m_flood;
    size_t m_floodNext = 0;

    // The unit's state and knobs, under m_mutex.
    Bytes m_programs;
    Bytes m_currentProgram;
    std::vector<Bytes> m_received;
    Bytes m_identityReply;
    int m_replyDelay = 0;
    int m_silentAfter = -1;
    int m_answered = 0;
    std::vector<Bytes> m_held;
    std::vector<DumpFault> m_dumpFaults;
    bool m_noise = false;

    // The ports it stands in for; every port operation takes m_portMutex and
    // so waits for the delivery in progress. The input's state is written
    // under it and read by the test without it (a delivery may hold it).
    std::mutex m_portMutex;
    bool m_portOpen = true; // attached to the link
    std::atomic<int> m_openInputs{1};
    std::atomic<bool> m_threadEnding{false};
    std::atomic<std::int64_t> m_threadEndsAtMs{0}; // juce::Time::getMillisecondCounterHiRes
    std::atomic<bool> m_deliveryInProgress{false};
    std::atomic<int> m_deliveriesReturned{0};
    std::atomic<int> m_deliveriesStarted{0};
    std::atomic<std::int64_t> m_handlerNanoseconds{0};

    std::thread m_thread;
};
