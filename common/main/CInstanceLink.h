#pragma once
#include "KsqxJuce.h"
#include <functional>
#include <vector>

// One running program per user, and a second launch's command line passed to
// it. The framework does both itself on macOS and Windows. On Linux its lock
// is one file for the whole machine, which another user's copy holds or
// leaves behind, and it passes nothing on; there this link keeps a lock of
// this user's own (a file locked for the program's life, in a folder only
// this user can reach) and the running instance listens on a local socket in
// the same folder, polled from a timer on the message thread (no thread of
// its own) and read only as far as bytes have arrived.
//
// A second launch sends the folder it was started in with its command line,
// so that the names in it are taken from there. The message: the four bytes
// "KQXL", then the folder and then the command line, each as a four-byte
// big-endian length followed by that many bytes of UTF-8.
class CInstanceLink : private juce::Timer
{
public:
    using Receiver = std::function<void(const juce::File& startFolder, const juce::String& commandLine)>;

    CInstanceLink() = default;
    ~CInstanceLink() override;

    // A launch: takes this user's instance lock, or else hands the command
    // line and its folder to the instance that holds it. True: this launch is
    // the one that runs (also when no private folder or no socket can be
    // had, where nothing can stop it). False: the running instance has the hand-over,
    // or within the given time it neither took one nor ended. A link that
    // takes the lock binds its socket at once: hand-overs wait there until
    // startListening.
    bool takeInstanceOrHandOver(const juce::String& commandLine, const juce::File& startFolder,
                                int waitMilliseconds = 3000);
    bool holdsInstance() const { return m_iLockFile >= 0; }

    // The running instance: starts taking command lines (taking the lock
    // first when this link does not hold it yet). A link that cannot be set
    // up, or whose lock another instance holds, takes none; the program runs
    // on without it. The lock is kept until the link is deleted.
    void startListening(Receiver receiver);
    void stopListening();
    bool isListening() const { return m_iListenSocket >= 0 && isTimerRunning(); }

    // The socket's and the lock's paths, in a folder that only this user can
    // reach: $XDG_RUNTIME_DIR when it is such a folder, else a folder of mode
    // 0700 of this user's own in the temporary folder; only a folder in which
    // the socket's path fits a socket address. Empty when there is none.
    static juce::String socketPath();
    static juce::String lockPath();

    // The message and its reading; a message that is not exactly one well
    // formed hand-over is refused.
    static juce::MemoryBlock encodeMessage(const juce::File& startFolder, const juce::String& commandLine);
    static bool decodeMessage(const void* data, size_t size, juce::File& startFolder, juce::String& commandLine);

    // The same message as text, for a channel that carries only text (the
    // Windows program's broadcast among the framework's own): a control
    // character, which no raw command line starts with, then the message's
    // bytes as hex digits. Reading takes only exactly such text.
    static juce::String encodeText(const juce::File& startFolder, const juce::String& commandLine);
    static bool decodeText(const juce::String& text, juce::File& startFolder, juce::String& commandLine);

    // The longest message taken; a longer one is refused whole.
    static constexpr size_t kMaxMessageSize = 65536;
    // A connection that has not sent a whole message this long after it was
    // accepted is dropped.
    static constexpr int kConnectionTimeoutMs = 1000;

private:
    // A hand-over being read: what has arrived so far.
    struct Connection
    {
        int socket;
        juce::uint32 acceptedAt;
        juce::MemoryBlock data;
    };

    enum class Lock
    {
        taken,
        heldByAnother, // the running instance has it
        unavailable    // no lock can be had here at all
    };

    void timerCallback() override;
    // The lock with the socket bound, or neither.
    Lock takeLock();
    Lock lockFile();
    void bindSocket();

    int m_iLockFile = -1;
    int m_iListenSocket = -1;
    juce::String m_sSocketPath; // the one this link made, removed when it stops
    std::vector<Connection> m_connections;
    Receiver m_receiver;
};
