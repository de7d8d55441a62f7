#pragma once
#include "KsqxJuce.h"
#include <functional>

// Passes a second launch's command line to the running instance. The
// framework does this itself on macOS and Windows; on Linux it does not, so
// the running instance listens on a per-user local socket, polled from a
// timer on the message thread (no thread of its own).
class CInstanceLink : private juce::Timer
{
public:
    using Receiver = std::function<void(const juce::String& commandLine)>;

    CInstanceLink() = default;
    ~CInstanceLink() override;

    // The running instance: starts taking command lines.
    void startListening(Receiver receiver);
    void stopListening();

    // A second launch: hands the command line over; true when the running
    // instance took it. Waits at most the given time for an instance that is
    // still starting up.
    static bool sendToRunningInstance(const juce::String& commandLine, int waitMilliseconds = 3000);

    // The socket's path: in $XDG_RUNTIME_DIR when set, else the temporary
    // folder, named after the user.
    static juce::String socketPath();

private:
    void timerCallback() override;

    int m_iListenSocket = -1;
    Receiver m_receiver;
};
