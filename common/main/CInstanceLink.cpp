#include "CInstanceLink.h"
#include <cstring>

namespace
{
const char kMagic[4] = {'K', 'Q', 'X', 'L'};

void appendLength(juce::MemoryBlock& m, size_t n)
{
    const unsigned char b[4] = {(unsigned char) (n >> 24), (unsigned char) (n >> 16), (unsigned char) (n >> 8),
                                (unsigned char) n};
    m.append(b, 4);
}

size_t lengthAt(const unsigned char* p)
{
    return ((size_t) p[0] << 24) | ((size_t) p[1] << 16) | ((size_t) p[2] << 8) | (size_t) p[3];
}

// A field's bytes as text: valid UTF-8 without a NUL, or nothing.
bool textOf(const unsigned char* p, size_t n, juce::String& out)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] == 0)
            return false;
    const auto* chars = reinterpret_cast<const char*>(p);
    if (!juce::CharPointer_UTF8::isValidString(chars, (int) n))
        return false;
    out = juce::String::fromUTF8(chars, (int) n);
    return true;
}
} // namespace

juce::MemoryBlock CInstanceLink::encodeMessage(const juce::File& startFolder, const juce::String& commandLine)
{
    const juce::String folder = startFolder.getFullPathName();
    const size_t folderBytes = folder.getNumBytesAsUTF8();
    const size_t lineBytes = commandLine.getNumBytesAsUTF8();
    juce::MemoryBlock m;
    m.append(kMagic, 4);
    appendLength(m, folderBytes);
    m.append(folder.toRawUTF8(), folderBytes);
    appendLength(m, lineBytes);
    m.append(commandLine.toRawUTF8(), lineBytes);
    return m;
}

bool CInstanceLink::decodeMessage(const void* data, size_t size, juce::File& startFolder, juce::String& commandLine)
{
    const auto* p = static_cast<const unsigned char*>(data);
    if (p == nullptr || size < 12 || size > kMaxMessageSize || std::memcmp(p, kMagic, 4) != 0)
        return false;
    const size_t folderBytes = lengthAt(p + 4);
    if (folderBytes > size - 12)
        return false;
    const size_t lineBytes = lengthAt(p + 8 + folderBytes);
    if (lineBytes != size - 12 - folderBytes)
        return false;
    juce::String folder, line;
    if (!textOf(p + 8, folderBytes, folder) || !textOf(p + 12 + folderBytes, lineBytes, line))
        return false;
    if (!juce::File::isAbsolutePath(folder))
        return false;
    startFolder = juce::File(folder);
    commandLine = line;
    return true;
}

namespace
{
const juce::juce_wchar kTextMark = 0x01;
}

juce::String CInstanceLink::encodeText(const juce::File& startFolder, const juce::String& commandLine)
{
    const juce::MemoryBlock m = encodeMessage(startFolder, commandLine);
    return juce::String::charToString(kTextMark) + juce::String::toHexString(m.getData(), (int) m.getSize(), 0);
}

bool CInstanceLink::decodeText(const juce::String& text, juce::File& startFolder, juce::String& commandLine)
{
    // Checked before reading: the hex reader skips what is not a digit.
    const juce::String hex = text.substring(1);
    if (text[0] != kTextMark || hex.length() % 2 != 0 || (size_t) hex.length() > 2 * kMaxMessageSize
        || !hex.containsOnly("0123456789abcdefABCDEF"))
        return false;
    juce::MemoryBlock m;
    m.loadFromHexString(hex);
    return decodeMessage(m.getData(), m.getSize(), startFolder, commandLine);
}

#if JUCE_LINUX
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>

namespace
{
// A sender that stalls is given up after this time.
constexpr int kReadTimeoutMs = 1000;
// Connections taken in one timer tick; more wait for the next one.
constexpr int kConnectionsPerTick = 8;

// Only this user (the folder's owner, mode 0700 or stricter) can reach it.
bool isPrivateFolder(const juce::String& path)
{
    struct stat st;
    return path.isNotEmpty() && ::lstat(path.toRawUTF8(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

bool makeAddress(sockaddr_un& addr)
{
    const juce::String path = CInstanceLink::socketPath();
    std::memset(&addr, 0, sizeof(addr));
    addr.sun_family = AF_UNIX;
    const char* utf8 = path.toRawUTF8();
    if (path.isEmpty() || std::strlen(utf8) >= sizeof(addr.sun_path))
        return false;
    std::strcpy(addr.sun_path, utf8);
    return true;
}

bool peerIsThisUser(int s)
{
    ucred cred {};
    socklen_t len = sizeof(cred);
    return ::getsockopt(s, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid();
}

// The whole message up to the sender's end of it, or false when it is too
// long or does not come in time.
bool readMessage(int s, juce::MemoryBlock& data)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) kReadTimeoutMs;
    char buffer[4096];
    for (;;)
    {
        const auto now = juce::Time::getMillisecondCounter();
        if (now >= end)
            return false;
        pollfd pfd {s, POLLIN, 0};
        const int r = ::poll(&pfd, 1, (int) (end - now));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        const ssize_t n = ::recv(s, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (data.getSize() + (size_t) n > CInstanceLink::kMaxMessageSize)
            return false;
        data.append(buffer, (size_t) n);
    }
}
} // namespace

juce::String CInstanceLink::socketPath()
{
    const juce::String name = "KestrumQX-" + juce::String((int) ::geteuid()) + ".sock";
    const juce::String runtime = juce::SystemStats::getEnvironmentVariable("XDG_RUNTIME_DIR", {});
    if (isPrivateFolder(runtime))
        return runtime + "/" + name;
    // A folder of this user's own in the shared temporary folder. One that
    // somebody else made first, or that others can reach, is not used.
    const juce::String folder = juce::File::getSpecialLocation(juce::File::tempDirectory).getFullPathName()
                                + "/KestrumQX-" + juce::String((int) ::geteuid());
    ::mkdir(folder.toRawUTF8(), 0700);
    if (isPrivateFolder(folder))
        return folder + "/" + name;
    return {};
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
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::chmod(addr.sun_path, 0600) != 0
        || ::listen(s, 4) != 0)
    {
        ::close(s);
        return;
    }
    m_iListenSocket = s;
    m_sSocketPath = juce::String::fromUTF8(addr.sun_path);
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
        ::unlink(m_sSocketPath.toRawUTF8());
        m_sSocketPath.clear();
    }
}

void CInstanceLink::timerCallback()
{
    for (int taken = 0; taken < kConnectionsPerTick && m_iListenSocket >= 0; ++taken)
    {
        const int c = ::accept4(m_iListenSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0)
            return;
        juce::MemoryBlock data;
        const bool whole = peerIsThisUser(c) && readMessage(c, data);
        ::close(c);
        juce::File folder;
        juce::String line;
        // Anything but one well-formed hand-over is dropped unread.
        if (whole && decodeMessage(data.getData(), data.getSize(), folder, line) && m_receiver)
            m_receiver(folder, line);
    }
}

bool CInstanceLink::sendToRunningInstance(const juce::String& commandLine, const juce::File& startFolder,
                                          int waitMilliseconds)
{
    sockaddr_un addr;
    if (!makeAddress(addr))
        return false;
    const juce::MemoryBlock message = encodeMessage(startFolder, commandLine);
    if (message.getSize() > kMaxMessageSize)
        return false;
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax(0, waitMilliseconds);
    for (;;)
    {
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            return false;
        if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0)
        {
            // The command line goes to this user's own instance only.
            bool ok = peerIsThisUser(s);
            const char* p = static_cast<const char*>(message.getData());
            size_t left = message.getSize();
            while (ok && left > 0)
            {
                const ssize_t n = ::send(s, p, left, MSG_NOSIGNAL);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    ok = false;
                else
                {
                    p += n;
                    left -= (size_t) n;
                }
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
bool CInstanceLink::sendToRunningInstance(const juce::String&, const juce::File&, int) { return false; }
#endif
