#pragma once
#include "KsqxJuce.h"
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CMidiSetupComponent;

// A Kestrum QX of our own on the other end of the device link, since the test
// machines have no MIDI ports. It takes what the link sends through the
// link's output sink and answers on a thread of its own through the link's
// handleIncomingMidiMessage, as a MIDI input thread does.
//
// It stands in for the link's ports too, modelled on the framework's
// backends. The link is given two devices, each with an input and an output:
// the unit's own (preselected) and another one where the unit is absent
// unless setAlsoOnOtherDevice says so. The link's ports are those it opens,
// each of a device; a delivery names the input it comes from. A delivery
// holds a lock that opening or closing any port also takes (so a port
// operation waits for the delivery in progress). One delivering thread
// serves all inputs and hands each message of the unit to every open input
// of a device the unit is on, one after the other.
//
// As ALSA's client (the default): a device takes any number of inputs,
// so two open inputs of the unit's device both get every message. The
// delivering thread starts with the first input opened; closing the last
// open input makes it end kInputThreadExitMs later, an input started before
// then does not start it again, and then nothing is delivered until the last
// input is closed and one opened again after that time.
//
// As WinMM: a device takes one open input at a time (secondOpens counts the
// link's tries to open another), and the delivering thread is the driver's,
// which lives as long as the device.
//
// On both, the link must not send from inside a delivery (WinMM forbids its
// multimedia calls in an input callback): sendsFromDeliveries counts it.
//
// goAwayAndComeBack is the unit switched off and on, or its cable pulled and
// plugged in again: it is back under the same identifier, but every input
// and output open on its device until then stays dead.
//
// While it floods, opening or closing an output first waits (up to a
// second) until a delivery has begun, as one under continuous traffic nearly
// always finds one under way. The unit hears what the link sends only while
// one of the link's open, living outputs is of a device the unit is on.
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

    // Gives the link the two devices (the unit's preselected) and its seams;
    // opens nothing.
    enum class Backend
    {
        Alsa,
        WinMM
    };
    explicit EmulatedUnit(CMidiSetupComponent& link, juce::uint32 programSeed = 1, Backend backend = Backend::Alsa);
    ~EmulatedUnit();

    // Takes the unit's seams out of the link (for a link that outlives it).
    void disconnect();

    static juce::MidiDeviceInfo unitDevice();
    static juce::MidiDeviceInfo otherDevice();
    // Selects these devices in the link's lists, as a user does in MIDI Setup.
    static void choosePorts(CMidiSetupComponent& link, const juce::MidiDeviceInfo& input,
                            const juce::MidiDeviceInfo& output);

    // Knobs; each may be turned at any time.
    void setReplyDelay(int milliseconds);
    void setIdentityReply(const Bytes& reply);
    static Bytes standardIdentityReply();
    // Answers after the first `answered` are held back until answerLate().
    void goSilentAfter(int answered);
    // The answer to the request for, or the dump of, this program is held
    // back until answerLate().
    void holdAnswerFor(int progNo);
    void answerLate();
    // The answers held back are sent when the link next closes a port, in the
    // middle of a port change, which waits until their delivery has begun.
    void answerAtNextPortChange();
    void setDumpFault(int progNo, DumpFault fault);
    // A note on, a controller and a note off before every answer.
    void setNoiseBetween(bool noise);
    // The unit is reached through the other device as well.
    void setAlsoOnOtherDevice(bool alsoThere);
    // See above; the ports the link opens afterwards reach the unit again.
    void goAwayAndComeBack();

    // Sends a message of the unit's own, unasked, from its thread.
    void inject(const Bytes& message);
    // Sends the pattern over and over from its thread until stopFlood().
    void startFlood(const std::vector<Bytes>& pattern);
    void stopFlood();

    // The unit's side, as seen from the test.
    Bytes programDump(int progNo) const;
    Bytes programBlock() const; // its 100 dumps back to back
    Bytes currentProgram() const;
    std::vector<Bytes> received() const; // what the link sent and the unit heard, in order
    int unheardCount() const;            // what the link sent where the unit is absent
    int heldCount() const;
    bool idle() const; // nothing queued or being answered (a flood aside)
    int deliveriesReturned() const { return m_deliveriesReturned; }
    // Deliveries of the unit's answers (dumps, acknowledgements) that have
    // returned from the link's handler.
    int answersDelivered() const { return m_answersDelivered; }
    // Messages the link sent on the delivering thread, from inside a delivery.
    int sendsFromDeliveries() const { return m_sendsFromDeliveries; }
    // Inputs the link opened on a device that had one open (as WinMM).
    int secondOpens() const { return m_secondOpens; }
    // The most requests and dumps the link had sent at one time that the
    // unit had not yet begun to answer; lock-step keeps it at 1.
    int mostOutstanding() const;
    // How often the link opened an input, and the devices of those open now.
    int inputOpenings() const;
    std::vector<juce::String> openInputs() const;
    // Time spent inside the link's handler, all runs together.
    std::int64_t handlerNanoseconds() const { return m_handlerNanoseconds; }
    // From the start of the delivery of each answer of the unit's to the
    // link's next message reaching the unit: the link's whole turn of an
    // exchange, all exchanges together, and how many there were.
    std::int64_t turnNanoseconds() const { return m_turnNanoseconds; }
    int turns() const { return m_turns; }

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

    // An open port of the link's; dead once its device went away.
    struct Port
    {
        juce::String device;
        bool alive = true;
        juce::MidiInput* source = nullptr; // what an input's deliveries name, never dereferenced
    };

    void run();
    void takeFromLink(const juce::MidiMessage& message);
    void beforePortOperation(bool output, bool closing);
    juce::MidiInput* setInputOpen(const juce::String& identifier, bool open);
    void setOutputOpen(const juce::String& identifier, bool open);
    bool reaches(const juce::String& identifier) const;
    bool deliveringThreadAlive() const;
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
    int m_unheard = 0;
    Bytes m_identityReply;
    int m_replyDelay = 0;
    int m_silentAfter = -1;
    int m_answered = 0;
    std::vector<int> m_holdFor;
    bool m_answerAtPortChange = false;
    std::vector<Bytes> m_held;
    std::vector<DumpFault> m_dumpFaults;
    bool m_noise = false;
    int m_outstanding = 0;
    int m_mostOutstanding = 0;
    std::vector<Port> m_outputs; // the link's open outputs
    int m_inputOpenings = 0;
    std::vector<juce::String> m_inputsSeen; // a copy of m_inputs for the test

    // The ports it stands in for; every port operation takes m_portMutex and
    // so waits for the delivery in progress. The inputs are written under it;
    // the delivering thread's state is read by the test without it (a
    // delivery may hold it).
    std::mutex m_portMutex;
    bool m_portOpen = true; // attached to the link
    const Backend m_backend;
    std::vector<Port> m_inputs;
    std::uintptr_t m_nextSource = 0;
    std::atomic<bool> m_alsoOnOther{false};
    std::atomic<int> m_openInputCount{0};
    std::atomic<bool> m_threadStarted{false};
    std::atomic<bool> m_threadEnding{false};
    std::atomic<std::int64_t> m_threadEndsAtMs{0}; // juce::Time::getMillisecondCounterHiRes
    std::atomic<bool> m_deliveryInProgress{false};
    std::atomic<int> m_deliveriesReturned{0};
    std::atomic<int> m_answersDelivered{0};
    std::atomic<int> m_sendsFromDeliveries{0};
    std::atomic<int> m_secondOpens{0};
    std::atomic<int> m_deliveriesStarted{0};
    std::atomic<std::int64_t> m_handlerNanoseconds{0};
    std::atomic<std::int64_t> m_answerDeliveredAtNs{0}; // 0: no turn under way
    std::atomic<std::int64_t> m_turnNanoseconds{0};
    std::atomic<int> m_turns{0};
    std::atomic<int> m_threadId{0};

    std::thread m_thread;
};
