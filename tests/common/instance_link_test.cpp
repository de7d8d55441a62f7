// The second-launch link over a real local socket: what it takes, what it
// drops, and where the socket lies.
#include "CInstanceLink.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <memory>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
juce::File privateFolder(const juce::File& f)
{
    f.createDirectory();
    ::chmod(f.getFullPathName().toRawUTF8(), 0700);
    return f;
}

// Connects to the socket and writes the bytes; closes unless asked to keep
// the connection open (then returns the socket).
int sendRaw(const juce::String& path, const std::string& bytes, bool keepOpen = false)
{
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // A connect to a full queue waits at most this long.
    const timeval timeout{5, 0};
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.toRawUTF8(), sizeof(addr.sun_path) - 1);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0)
    {
        ::close(s);
        return -1;
    }
    size_t done = 0;
    while (done < bytes.size())
    {
        const ssize_t n = ::send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        done += (size_t) n;
    }
    if (keepOpen)
        return s;
    ::close(s);
    return 0;
}

std::string frame(const std::string& folder, const std::string& line)
{
    auto len = [](size_t n) {
        return std::string{(char) (n >> 24), (char) (n >> 16), (char) (n >> 8), (char) n};
    };
    return "KQXL" + len(folder.size()) + folder + len(line.size()) + line;
}

struct Received
{
    juce::File folder;
    juce::String line;
};
} // namespace

// A link listening on a private runtime folder of the test's own, and what
// reaches it.
class ListeningLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        link.startListening([&](const juce::File& f, const juce::String& l) { got.push_back({f, l}); });
        ASSERT_TRUE(link.isListening());
        path = CInstanceLink::socketPath();
    }

    TempFolder tmp{TempFolder::ShortPath{}};
    juce::File run = privateFolder(tmp.file("run"));
    ScopedEnv runtime{"XDG_RUNTIME_DIR", run.getFullPathName().toRawUTF8()};
    std::vector<Received> got;
    CInstanceLink link;
    juce::String path;
};

TEST_F(ListeningLink, OnlyWholeWellFormedHandOversFromThisUserArrive)
{
    const std::string folder = tmp.get().getFullPathName().toStdString();
    const std::string good = frame(folder, "\"My Bank.ksqx\" -x");
    struct Case
    {
        const char* what;
        std::string bytes;
    };
    const std::vector<Case> dropped = {
        {"nothing", ""},
        {"another magic", "KQXM" + good.substr(4)},
        {"the folder's length past the end", "KQXL\xff\xff\xff\xff" + good.substr(8)},
        {"a byte too many", good + "x"},
        {"a byte too few", good.substr(0, good.size() - 1)},
        {"a relative folder", frame("some/folder", "bank.ksqx")},
        {"an empty folder", frame("", "bank.ksqx")},
        {"broken UTF-8", frame(folder, "bank\xc3(.ksqx")},
        {"a NUL in the command line", frame(folder, std::string("bank\0x.ksqx", 11))},
        {"longer than a hand-over may be", frame(folder, std::string(CInstanceLink::kMaxMessageSize, 'a'))},
        {"the old unframed command line", "bank.ksqx"},
    };
    for (const auto& c : dropped)
    {
        ASSERT_EQ(sendRaw(path, c.bytes), 0) << c.what;
        pumpMessages(120); // the link takes a few connections at a time
    }
    // A sender that stalls half-way is given up, and the link goes on.
    const int stalled = sendRaw(path, good.substr(0, 10), true);
    ASSERT_GE(stalled, 0);

    ASSERT_EQ(sendRaw(path, good), 0);
    EXPECT_TRUE(pumpUntil([&] { return !got.empty(); }, 5000));
    EXPECT_TRUE(holdsFor([&] { return got.size() <= 1; }, 200));
    ::close(stalled);
    ASSERT_EQ(got.size(), 1u) << "only the well-formed hand-over arrives";
    EXPECT_EQ(got[0].folder, tmp.get());
    EXPECT_EQ(got[0].line, "\"My Bank.ksqx\" -x");

    // The program's own second launch, with text beyond ASCII.
    const juce::String line = juce::CharPointer_UTF8("\"Bl\xc3\xa4ue Ch\xc3\xb6re.ksqx\"");
    const juce::File start = tmp.file(juce::CharPointer_UTF8("M\xc3\xbcsik"));
    CInstanceLink launch;
    EXPECT_FALSE(launch.takeInstanceOrHandOver(line, start, 0)) << "the second launch would run";
    EXPECT_TRUE(pumpUntil([&] { return got.size() == 2; }, 3000));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].folder, start);
    EXPECT_EQ(got[1].line, line);
    // One too long to be taken is not sent at all, and that launch ends too.
    EXPECT_FALSE(launch.takeInstanceOrHandOver(juce::String::repeatedString("a", 70000), start, 0));
    EXPECT_TRUE(holdsFor([&] { return got.size() == 2; }, 300));
    EXPECT_EQ(got.size(), 2u);

    if (geteuid() == 0)
    {
        // Another user who reaches the socket (here it is opened up on
        // purpose) is not listened to.
        ::chmod(run.getFullPathName().toRawUTF8(), 0755);
        ::chmod(path.toRawUTF8(), 0666);
        const pid_t child = ::fork();
        if (child == 0)
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            ::_exit(sendRaw(path, good) == 0 ? 0 : 3);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other user could not even connect";
        EXPECT_TRUE(holdsFor([&] { return got.size() == 2; }, 400)) << "a hand-over from another user was taken";
    }
}

TEST(InstanceLink, TheSocketLiesWhereOnlyThisUserCanReachIt)
{
    TempFolder tmp{TempFolder::ShortPath{}};
    const juce::String uid((int) geteuid());
    const juce::File temp = tmp.file("tmp");
    temp.createDirectory();
    ScopedEnv tmpdir("TMPDIR", temp.getFullPathName().toRawUTF8());
    const juce::File own = temp.getChildFile("KestrumQX-" + uid);
    const juce::String sockName = "KestrumQX-" + uid + ".sock";

    auto modeOf = [](const juce::File& f) {
        struct stat st{};
        return ::lstat(f.getFullPathName().toRawUTF8(), &st) == 0 ? (int) (st.st_mode & 07777) : -1;
    };

    struct Case
    {
        const char* what;
        std::function<const char*()> prepare; // the value of XDG_RUNTIME_DIR, or nullptr: unset
        juce::String expected;                // the socket's path; empty: no link
    };
    const juce::File run = tmp.file("run"), openRun = tmp.file("open-run"), elsewhere = tmp.file("elsewhere");
    std::string runPath = run.getFullPathName().toStdString(), openPath = openRun.getFullPathName().toStdString();
    const std::vector<Case> cases = {
        {"a private runtime folder", [&] { privateFolder(run); return runPath.c_str(); },
         run.getChildFile(sockName).getFullPathName()},
        {"no runtime folder: a folder of its own in the temporary folder", [&] { return (const char*) nullptr; },
         own.getChildFile(sockName).getFullPathName()},
        {"a runtime folder others can enter is not used",
         [&] { openRun.createDirectory(); ::chmod(openPath.c_str(), 0755); return openPath.c_str(); },
         own.getChildFile(sockName).getFullPathName()},
        {"its own folder opened up to others",
         [&] { ::chmod(own.getFullPathName().toRawUTF8(), 0777); return (const char*) nullptr; }, {}},
        {"its own folder replaced by a link",
         [&] {
             own.deleteRecursively();
             privateFolder(elsewhere);
             ::symlink(elsewhere.getFullPathName().toRawUTF8(), own.getFullPathName().toRawUTF8());
             return (const char*) nullptr;
         },
         {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScopedEnv runtime("XDG_RUNTIME_DIR", c.prepare());
        EXPECT_EQ(CInstanceLink::socketPath(), c.expected);
        CInstanceLink link;
        link.startListening([](const juce::File&, const juce::String&) {});
        EXPECT_EQ(link.isListening(), c.expected.isNotEmpty()) << "a link that cannot be made just isn't";
        if (c.expected.isEmpty())
        {
            // Nothing of this user's own to lock either: no launch is stopped.
            EXPECT_EQ(CInstanceLink::lockPath(), juce::String());
            CInstanceLink launch;
            EXPECT_TRUE(launch.takeInstanceOrHandOver("x", tmp.get(), 0));
            continue;
        }
        const juce::File lock(CInstanceLink::lockPath());
        EXPECT_EQ(lock.getParentDirectory(), juce::File(c.expected).getParentDirectory());
        EXPECT_EQ(modeOf(juce::File(c.expected).getParentDirectory()) & 077, 0);
        EXPECT_EQ(modeOf(juce::File(c.expected)) & 077, 0);
        EXPECT_EQ(modeOf(lock) & 077, 0);
    }

    if (geteuid() == 0)
    {
        // A folder of that name that another user made first.
        ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
        ::unlink(own.getFullPathName().toRawUTF8());
        privateFolder(own);
        ASSERT_EQ(::chown(own.getFullPathName().toRawUTF8(), 65534, 65534), 0);
        EXPECT_EQ(CInstanceLink::socketPath(), juce::String());
    }
}

TEST(InstanceLink, TheTextFormCarriesTheFolderAndTakesNothingElse)
{
    const juce::String line = juce::CharPointer_UTF8("\"Bl\xc3\xa4ue Ch\xc3\xb6re.ksqx\" -x");
    const juce::File start(juce::CharPointer_UTF8("/tmp/M\xc3\xbcsik"));
    const juce::String text = CInstanceLink::encodeText(start, line);
    // What the Windows broadcast does to it: UTF-32 with its terminator counted.
    const juce::String carried(text.toUTF32(), (size_t) text.length() + 1);
    juce::File folder;
    juce::String got;
    ASSERT_TRUE(CInstanceLink::decodeText(carried, folder, got));
    EXPECT_EQ(folder, start);
    EXPECT_EQ(got, line);

    const juce::String mark = text.substring(0, 1);
    const juce::String hex = text.substring(1);
    const std::vector<std::pair<const char*, juce::String>> refused = {
        {"the framework's raw line", "bank.ksqx"},
        {"a raw quoted line", "\"My Bank.ksqx\" -x"},
        {"nothing", ""},
        {"the mark alone", mark},
        {"no mark", hex},
        {"an odd number of digits", text.dropLastCharacters(1)},
        {"a character that is not a digit", mark + hex.substring(0, 10) + "zz" + hex.substring(12)},
        {"blanks among the digits", mark + hex.substring(0, 10) + " " + hex.substring(10)},
        {"a frame cut short", mark + hex.dropLastCharacters(2)},
        {"a relative folder", CInstanceLink::encodeText(juce::File(), "bank.ksqx")},
        {"longer than a hand-over may be",
         CInstanceLink::encodeText(start, juce::String::repeatedString("a", (int) CInstanceLink::kMaxMessageSize))},
    };
    for (const auto& [what, t] : refused)
    {
        folder = juce::File();
        got = "untouched";
        EXPECT_FALSE(CInstanceLink::decodeText(t, folder, got)) << what;
        EXPECT_EQ(got, "untouched") << what;
    }
}

namespace
{
// The longest time the message thread went without running a 5 ms timer.
struct StallMeter : private juce::Timer
{
    StallMeter() { startTimer(5); }
    ~StallMeter() override { stopTimer(); }
    void timerCallback() override
    {
        const auto now = juce::Time::getMillisecondCounter();
        if (m_last != 0)
            longest = juce::jmax(longest, (int) (now - m_last));
        m_last = now;
    }
    int longest = 0;
    juce::uint32 m_last = 0;
};
} // namespace

TEST_F(ListeningLink, SendersThatStallNeverHoldTheMessageThread)
{
    const std::string good = frame(tmp.get().getFullPathName().toStdString(), "bank.ksqx");

    // Each case: connections that send a part and then nothing, held open
    // while a sender writes `first`, waits, writes `rest` and ends.
    struct Case
    {
        const char* what;
        int silent;      // connections that send nothing, opened first
        size_t split;    // bytes of the good message sent before the pause
        int pauseMs;
        bool arrives;
    };
    const std::vector<Case> cases = {
        {"three silent connections, then a hand-over", 3, good.size(), 0, true},
        {"twenty silent connections, then a hand-over", 20, good.size(), 0, true},
        {"a hand-over that comes in two parts over several ticks", 0, 7, 400, true},
        {"one in two parts beside silent ones", 5, 13, 300, true},
        {"one whose rest comes after the time allowed", 0, 7, CInstanceLink::kConnectionTimeoutMs + 600, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        got.clear();
        std::vector<int> silent;
        for (int i = 0; i < c.silent; ++i)
        {
            silent.push_back(sendRaw(path, "", true));
            ASSERT_GE(silent.back(), 0);
            pumpMessages(10);
        }
        std::atomic<bool> sent{false};
        std::thread sender([&] {
            const int s = sendRaw(path, good.substr(0, c.split), true);
            juce::Thread::sleep(c.pauseMs);
            if (s >= 0)
            {
                ::send(s, good.data() + c.split, good.size() - c.split, MSG_NOSIGNAL);
                ::close(s);
            }
            sent = true;
        });
        StallMeter meter;
        const auto startedAt = juce::Time::getMillisecondCounter();
        // A hand-over that comes whole is taken at the next ticks, not after
        // the silent ones have been given up.
        const bool arrived = pumpUntil([&] { return !got.empty(); }, c.pauseMs + 800);
        const auto took = juce::Time::getMillisecondCounter() - startedAt;
        pumpUntil([&] { return sent.load(); }, 5000);
        sender.join();
        EXPECT_TRUE(holdsFor([&] { return got.size() <= (c.arrives ? 1u : 0u); }, 200));
        for (int s : silent)
            ::close(s);
        EXPECT_EQ(arrived, c.arrives) << "after " << took << " ms";
        EXPECT_EQ(got.size(), c.arrives ? 1u : 0u);
        if (c.arrives && !got.empty())
            EXPECT_EQ(got[0].line, "bank.ksqx");
        // A 100 ms tick and a loaded machine's scheduling, never a wait for a
        // sender.
        EXPECT_LT(meter.longest, 500) << "the message thread was held";
    }

    // The silent connections are dropped a second after they were taken: the
    // other side sees its connection end.
    const int s = sendRaw(path, "", true);
    ASSERT_GE(s, 0);
    EXPECT_TRUE(pumpUntil(
        [s] {
            pollfd pfd{s, POLLIN, 0};
            char byte;
            return ::poll(&pfd, 1, 0) == 1 && ::recv(s, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
        },
        CInstanceLink::kConnectionTimeoutMs + 400))
        << "still open";
    ::close(s);
}

TEST(InstanceLink, OneLaunchOfThisUserRunsAndTheOthersHandOver)
{
    TempFolder tmp{TempFolder::ShortPath{}};
    const juce::File run = privateFolder(tmp.file("run"));
    ScopedEnv runtime("XDG_RUNTIME_DIR", run.getFullPathName().toRawUTF8());
    std::vector<Received> got;
    auto receiver = [&](const juce::File& f, const juce::String& l) { got.push_back({f, l}); };

    // Launches at the same moment: exactly one runs; the others hand over
    // into its queue while it is still starting up and have ended.
    constexpr int kLaunches = 6;
    std::vector<std::unique_ptr<CInstanceLink>> links;
    for (int i = 0; i < kLaunches; ++i)
        links.push_back(std::make_unique<CInstanceLink>());
    std::atomic<int> ready{0};
    std::vector<int> runs(kLaunches, -1);
    std::vector<std::thread> launches;
    for (int i = 0; i < kLaunches; ++i)
        launches.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kLaunches)
                std::this_thread::yield();
            runs[(size_t) i] = links[(size_t) i]->takeInstanceOrHandOver("launch" + juce::String(i), tmp.get()) ? 1 : 0;
        });
    for (auto& t : launches)
        t.join();
    ASSERT_EQ(std::count(runs.begin(), runs.end(), 1), 1) << "not exactly one launch runs";
    const size_t winner = (size_t) (std::find(runs.begin(), runs.end(), 1) - runs.begin());
    links[winner]->startListening(receiver);
    ASSERT_TRUE(links[winner]->isListening());
    EXPECT_TRUE(pumpUntil([&] { return got.size() == kLaunches - 1; }, 3000));
    std::set<juce::String> lines;
    for (const auto& r : got)
        lines.insert(r.line);
    EXPECT_EQ(lines.size(), (size_t) kLaunches - 1);
    EXPECT_EQ(lines.count("launch" + juce::String((int) winner)), 0u);
    links.clear();

    const juce::File socket(CInstanceLink::socketPath()), lock(CInstanceLink::lockPath());
    // What a crash leaves: the lock file, unlocked, and a socket file that
    // nobody listens on.
    auto leaveStaleFiles = [&] {
        ASSERT_TRUE(lock.create().wasOk());
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, socket.getFullPathName().toRawUTF8(), sizeof(addr.sun_path) - 1);
        ::unlink(addr.sun_path);
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
        ::close(s);
        ASSERT_TRUE(socket.exists());
    };

    // Each case: the state the launch meets, what it must do and within what
    // time (a launch that runs must not first wait out its whole wait).
    constexpr int kWait = 1500;
    struct Case
    {
        const char* what;
        std::function<void()> prepare;
        bool runs;
        int minMs, maxMs;
    };
    std::unique_ptr<CInstanceLink> holder;
    std::thread ender;
    const std::vector<Case> cases = {
        {"nothing there", [] {}, true, 0, 500},
        {"a crash's lock file and socket", leaveStaleFiles, true, 0, 500},
        {"an instance that is ending: its socket gone, its lock let go a moment later",
         [&] {
             holder = std::make_unique<CInstanceLink>();
             ASSERT_TRUE(holder->takeInstanceOrHandOver("", tmp.get(), 0));
             holder->stopListening();
             ender = std::thread([&] {
                 juce::Thread::sleep(400);
                 holder.reset();
             });
         },
         true, 300, kWait},
        {"an instance that holds the lock and never takes the hand-over",
         [&] {
             holder = std::make_unique<CInstanceLink>();
             ASSERT_TRUE(holder->takeInstanceOrHandOver("", tmp.get(), 0));
             holder->stopListening();
         },
         false, kWait - 100, kWait + 1000},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        got.clear();
        c.prepare();
        CInstanceLink launch;
        const auto startedAt = juce::Time::getMillisecondCounter();
        const bool ran = launch.takeInstanceOrHandOver("x.ksqx", tmp.get(), kWait);
        const int took = (int) (juce::Time::getMillisecondCounter() - startedAt);
        if (ender.joinable())
            ender.join();
        holder.reset();
        EXPECT_EQ(ran, c.runs);
        EXPECT_EQ(launch.holdsInstance(), c.runs);
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
        if (!ran)
            continue;
        // It is the running instance now: a later launch reaches it.
        launch.startListening(receiver);
        ASSERT_TRUE(launch.isListening());
        CInstanceLink next;
        EXPECT_FALSE(next.takeInstanceOrHandOver("next.ksqx", tmp.get(), kWait));
        EXPECT_TRUE(pumpUntil([&] { return got.size() == 1; }, 3000));
        if (!got.empty())
            EXPECT_EQ(got[0].line, "next.ksqx");
    }
}

// A runtime folder in which the socket's path is longer than a socket address
// holds: the link moves to this user's own folder in the temporary folder,
// and where that is too long as well, every launch runs on its own. Either
// way no launch waits and then ends unheard.
TEST(InstanceLink, ALongRuntimeFolderNeverSwallowsALaunch)
{
    TempFolder tmp{TempFolder::ShortPath{}};
    const juce::File deep = privateFolder(privateFolder(tmp.file(juce::String::repeatedString("d", 60)))
                                              .getChildFile(juce::String::repeatedString("e", 60)));
    ScopedEnv runtime("XDG_RUNTIME_DIR", deep.getFullPathName().toRawUTF8());
    const juce::File shortTemp = tmp.file("tmp"), longTemp = deep.getChildFile("tmp");
    ASSERT_TRUE(shortTemp.createDirectory().wasOk());
    ASSERT_TRUE(longTemp.createDirectory().wasOk());
    const juce::String uid((int) geteuid());

    for (const bool tempFits : {true, false})
    {
        SCOPED_TRACE(tempFits ? "a short temporary folder" : "a long temporary folder too");
        ScopedEnv tmpdir("TMPDIR", (tempFits ? shortTemp : longTemp).getFullPathName().toRawUTF8());
        EXPECT_EQ(CInstanceLink::socketPath(),
                  tempFits ? shortTemp.getFullPathName() + "/KestrumQX-" + uid + "/KestrumQX-" + uid + ".sock" : "");
        if (!tempFits)
            EXPECT_EQ(CInstanceLink::lockPath(), "");

        std::vector<Received> got;
        CInstanceLink first;
        ASSERT_TRUE(first.takeInstanceOrHandOver("first.ksqx", tmp.get(), 1500));
        first.startListening([&](const juce::File& f, const juce::String& l) { got.push_back({f, l}); });
        EXPECT_EQ(first.isListening(), tempFits);

        CInstanceLink second;
        const auto startedAt = juce::Time::getMillisecondCounter();
        const bool secondRuns = second.takeInstanceOrHandOver("second.ksqx", tmp.get(), 1500);
        EXPECT_LT(juce::Time::getMillisecondCounter() - startedAt, 1000u) << "the second launch waited";
        if (tempFits)
        {
            EXPECT_FALSE(secondRuns);
            EXPECT_TRUE(pumpUntil([&] { return got.size() == 1; }, 3000));
            if (!got.empty())
                EXPECT_EQ(got[0].line, "second.ksqx");
        }
        else
            EXPECT_TRUE(secondRuns) << "the second launch neither handed over nor ran";
    }
}
