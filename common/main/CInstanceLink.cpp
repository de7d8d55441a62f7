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
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>

namespace
{
// Connections taken in one timer tick; more wait for the next one. Each is
// dropped within a second, so this also bounds how many are open at once.
constexpr int kConnectionsPerTick = 8;
// Second launches that can wait to be taken, e.g. while the running instance
// is still starting up; a launch that finds the queue full tries again.
constexpr int kQueueLength = 16;

// Only this user (the folder's owner, mode 0700 or stricter) can reach it.
bool isPrivateFolder(const juce::String& path)
{
    struct stat st;
    return path.isNotEmpty() && ::lstat(path.toRawUTF8(), &st) == 0 && S_ISDIR(st.st_mode)
           && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

juce::String linkFileName(const char* extension) { return "KestrumQX-" + juce::String((int) ::geteuid()) + extension; }

// Whether the socket's path in `folder` fits in a socket address: a longer
// one cannot be bound, and a folder used for the lock but not the socket
// would leave every later launch waiting for a hand-over nobody takes.
bool socketFitsIn(const juce::String& folder)
{
    return (folder + "/" + linkFileName(".sock")).getNumBytesAsUTF8() < sizeof(sockaddr_un::sun_path);
}

juce::String linkFolder()
{
    const juce::String runtime = juce::SystemStats::getEnvironmentVariable("XDG_RUNTIME_DIR", {});
    if (isPrivateFolder(runtime) && socketFitsIn(runtime))
        return runtime;
    // A folder of this user's own in the shared temporary folder. One that
    // somebody else made first, or that others can reach, is not used; with
    // none that holds the socket the program runs without the link.
    const juce::String folder = juce::File::getSpecialLocation(juce::File::tempDirectory).getFullPathName()
                                + "/KestrumQX-" + juce::String((int) ::geteuid());
    if (!socketFitsIn(folder))
        return {};
    ::mkdir(folder.toRawUTF8(), 0700);
    if (isPrivateFolder(folder))
        return folder;
    return {};
}

juce::String linkFile(const char* extension)
{
    const juce::String folder = linkFolder();
    if (folder.isEmpty())
        return {};
    return folder + "/" + linkFileName(extension);
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

juce::uint32 millisecondsLeft(juce::uint32 end)
{
    const auto now = juce::Time::getMillisecondCounter();
    return now < end ? end - now : 0;
}

// One try: connects without waiting (a missing or stale socket, or a full
// queue, fails at once) and writes the whole message by the given time.
bool sendOnce(const juce::MemoryBlock& message, juce::uint32 end)
{
    sockaddr_un addr;
    if (!makeAddress(addr))
        return false;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    // The command line goes to this user's own instance only.
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 && peerIsThisUser(s);
    const char* p = static_cast<const char*>(message.getData());
    size_t left = message.getSize();
    while (ok && left > 0)
    {
        const ssize_t n = ::send(s, p, left, MSG_NOSIGNAL);
        if (n > 0)
        {
            p += n;
            left -= (size_t) n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        {
            // The running instance reads its queue only once it has started.
            const auto wait = millisecondsLeft(end);
            pollfd pfd {s, POLLOUT, 0};
            const int r = wait > 0 ? ::poll(&pfd, 1, (int) wait) : 0;
            ok = r > 0 || (r < 0 && errno == EINTR);
            continue;
        }
        ok = false;
    }
    ::close(s);
    return ok;
}

enum class Read
{
    more,  // nothing more has arrived yet
    whole, // the sender has ended its message
    bad    // too long, or the connection failed
};

// Takes only what has arrived, without waiting.
Read readAvailable(int s, juce::MemoryBlock& data)
{
    char buffer[4096];
    for (;;)
    {
        const ssize_t n = ::recv(s, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n == 0)
            return Read::whole;
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Read::more : Read::bad;
        }
        if (data.getSize() + (size_t) n > CInstanceLink::kMaxMessageSize)
            return Read::bad;
        data.append(buffer, (size_t) n);
    }
}
} // namespace

juce::String CInstanceLink::socketPath() { return linkFile(".sock"); }
juce::String CInstanceLink::lockPath() { return linkFile(".lock"); }

CInstanceLink::~CInstanceLink()
{
    stopListening();
    // The lock goes last, after everything the program wrote on its way out.
    if (m_iLockFile >= 0)
        ::close(m_iLockFile);
}

CInstanceLink::Lock CInstanceLink::takeLock()
{
    if (m_iLockFile < 0)
    {
        const Lock lock = lockFile();
        if (lock != Lock::taken)
            return lock;
    }
    // The lock and the socket go together: holding the lock with no socket
    // would make every later launch wait and end without its file opened.
    bindSocket();
    if (m_iListenSocket >= 0)
        return Lock::taken;
    ::close(m_iLockFile);
    m_iLockFile = -1;
    return Lock::unavailable;
}

CInstanceLink::Lock CInstanceLink::lockFile()
{
    const juce::String path = lockPath();
    if (path.isEmpty())
        return Lock::unavailable;
    // flock, not a lock file's presence: the lock ends with the process that
    // holds it, also when it crashes.
    const int fd = ::open(path.toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Lock::unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
    {
        m_iLockFile = fd;
        return Lock::taken;
    }
    const int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK || error == EINTR ? Lock::heldByAnother : Lock::unavailable;
}

void CInstanceLink::bindSocket()
{
    if (m_iListenSocket >= 0)
        return;
    sockaddr_un addr;
    if (!makeAddress(addr))
        return;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    // This link holds the lock, so a socket file left over from an earlier
    // run belongs to nobody.
    ::unlink(addr.sun_path);
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::chmod(addr.sun_path, 0600) != 0
        || ::listen(s, kQueueLength) != 0)
    {
        ::close(s);
        return;
    }
    m_iListenSocket = s;
    m_sSocketPath = juce::String::fromUTF8(addr.sun_path);
}

bool CInstanceLink::takeInstanceOrHandOver(const juce::String& commandLine, const juce::File& startFolder,
                                           int waitMilliseconds)
{
    const juce::MemoryBlock message = encodeMessage(startFolder, commandLine);
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax(0, waitMilliseconds);
    for (;;)
    {
        const Lock lock = takeLock();
        if (lock == Lock::taken)
            return true;
        if (lock == Lock::unavailable)
            return true;
        // Another instance runs: it binds its socket right after taking the
        // lock, and its lock ends with it, so both are tried again until one
        // of them works.
        if (message.getSize() > kMaxMessageSize || sendOnce(message, end))
            return false;
        if (millisecondsLeft(end) == 0)
            return false;
        juce::Thread::sleep(20);
    }
}

void CInstanceLink::startListening(Receiver receiver)
{
    // A socket bound at launch stays: hand-overs may wait in its queue.
    stopTimer();
    if (takeLock() != Lock::taken)
        return;
    m_receiver = std::move(receiver);
    startTimer(100);
}

void CInstanceLink::stopListening()
{
    stopTimer();
    for (const auto& c : m_connections)
        ::close(c.socket);
    m_connections.clear();
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
    const auto now = juce::Time::getMillisecondCounter();
    for (int taken = 0; taken < kConnectionsPerTick && m_iListenSocket >= 0; ++taken)
    {
        const int c = ::accept4(m_iListenSocket, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c < 0)
            break;
        if (peerIsThisUser(c))
            m_connections.push_back({c, now, {}});
        else
            ::close(c);
    }

    std::vector<std::pair<juce::File, juce::String>> arrived;
    for (auto it = m_connections.begin(); it != m_connections.end();)
    {
        const Read read = readAvailable(it->socket, it->data);
        if (read == Read::more && now - it->acceptedAt < (juce::uint32) kConnectionTimeoutMs)
        {
            ++it; // the rest may come by a later tick
            continue;
        }
        juce::File folder;
        juce::String line;
        // Anything but one well-formed hand-over, whole in time, is dropped.
        if (read == Read::whole && decodeMessage(it->data.getData(), it->data.getSize(), folder, line))
            arrived.emplace_back(folder, line);
        ::close(it->socket);
        it = m_connections.erase(it);
    }
    // Handed on only now: opening a file can show a box, whose modal loop
    // runs this timer again.
    for (const auto& [folder, line] : arrived)
        if (isListening() && m_receiver)
            m_receiver(folder, line);
}

#else
// macOS and Windows: the framework keeps one instance and passes the command
// line on by itself.
juce::String CInstanceLink::socketPath() { return {}; }
juce::String CInstanceLink::lockPath() { return {}; }
CInstanceLink::~CInstanceLink() = default;
bool CInstanceLink::takeInstanceOrHandOver(const juce::String&, const juce::File&, int) { return true; }
void CInstanceLink::startListening(Receiver) {}
void CInstanceLink::stopListening() {}
void CInstanceLink::timerCallback() {}
#endif
