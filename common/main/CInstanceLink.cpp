#include "CInstanceLink.h"

#if JUCE_LINUX
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace
{
bool makeAddress(sockaddr_un& addr)
{
    const juce::String path = CInstanceLink::socketPath();
    std::memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    const char* utf8 = path.toRawUTF8();
    if (std::strlen(utf8) >= sizeof(addr.sun_path))
        return false;
    std::strcpy(addr.sun_path, utf8);
    return true;
}
} // namespace

juce::String CInstanceLink::socketPath()
{
    juce::String folder = juce::SystemStats::getEnvironmentVariable("XDG_RUNTIME_DIR", {});
    if (folder.isEmpty() || !juce::File(folder).isDirectory())
        folder = juce::File::getSpecialLocation(juce::File::tempDirectory).getFullPathName();
    return folder + "/KestrumQX-" + juce::String((int) getuid()) + ".sock";
}

CInstanceLink::~CInstanceLink() { stopListening(); }

void CInstanceLink::startListening(Receiver receiver)
{
    stopListening();
    sockaddr_un addr;
    if (!makeAddress(addr))
        return;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    // The framework's single-instance lock is held, so a socket file left
    // over from an earlier run belongs to nobody.
    ::unlink(addr.sun_path);
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(s, 4) != 0)
    {
        ::close(s);
        return;
    }
    m_iListenSocket = s;
    m_receiver = std::move(receiver);
    startTimer(100);
}

void CInstanceLink::stopListening()
{
    stopTimer();
    if (m_iListenSocket >= 0)
    {
        ::close(m_iListenSocket);
        m_iListenSocket = -1;
        sockaddr_un addr;
        if (makeAddress(addr))
            ::unlink(addr.sun_path);
    }
}

void CInstanceLink::timerCallback()
{
    for (;;)
    {
        const int c = ::accept4(m_iListenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        // The sender writes its command line and closes; a sender that stalls
        // is given up after a second.
        timeval tv {1, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        const int flags = ::fcntl(c, F_GETFL);
        ::fcntl(c, F_SETFL, flags & ~O_NONBLOCK);
        juce::MemoryBlock data;
        char buffer[4096];
        for (;;)
        {
            const ssize_t n = ::read(c, buffer, sizeof(buffer));
            if (n <= 0 || data.getSize() > 65536)
                break;
            data.append(buffer, (size_t) n);
        }
        ::close(c);
        if (m_receiver)
            m_receiver(juce::String::fromUTF8(static_cast<const char*>(data.getData()), (int) data.getSize()));
    }
}

bool CInstanceLink::sendToRunningInstance(const juce::String& commandLine, int waitMilliseconds)
{
    sockaddr_un addr;
    if (!makeAddress(addr))
        return false;
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax(0, waitMilliseconds);
    for (;;)
    {
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return false;
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0)
        {
            const char* utf8 = commandLine.toRawUTF8();
            size_t left = std::strlen(utf8);
            bool ok = true;
            while (left > 0)
            {
                const ssize_t n = ::write(s, utf8, left);
                if (n <= 0)
                {
                    ok = false;
                    break;
                }
                utf8 += n;
                left -= (size_t) n;
            }
            ::close(s);
            return ok;
        }
        ::close(s);
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        juce::Thread::sleep(100); // the running instance may still be starting up
    }
}

#else
// macOS and Windows: the framework passes the command line on by itself.
juce::String CInstanceLink::socketPath() { return {}; }
CInstanceLink::~CInstanceLink() = default;
void CInstanceLink::startListening(Receiver) {}
void CInstanceLink::stopListening() {}
void CInstanceLink::timerCallback() {}
bool CInstanceLink::sendToRunningInstance(const juce::String&, int) { return false; }
#endif
