#pragma once
#include "KsqxJuce.h"
#include <functional>

// Passes a second launch's command line to the running instance. The
// framework does this itself on macOS and Windows; on Linux it does not, so
// the running instance listens on a local socket of this user's own, polled
// from a timer on the message thread (no thread of its own).
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

    // The running instance: starts taking command lines. A link that cannot
    // be set up takes none; the program runs on without it.
    void startListening(Receiver receiver);
    void stopListening();
    bool isListening() const { return m_iListenSocket >= 0; }

    // A second launch: hands the command line and its folder over; true when
    // the running instance took them. Waits at most the given time for an
    // instance that is still starting up.
    static bool sendToRunningInstance(const juce::String& commandLine, const juce::File& startFolder,
                                      int waitMilliseconds = 3000);

    // The socket's path, in a folder that only this user can reach:
    // $XDG_RUNTIME_DIR when it is such a folder, else a folder of mode 0700
    // of this user's own in the temporary folder. Empty when there is none.
    static juce::String socketPath();

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

private:
    void timerCallback() override;

    int m_iListenSocket = -1;
    juce::String m_sSocketPath; // the one this link made, removed when it stops
    Receiver m_receiver;
};
