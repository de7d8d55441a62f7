// The second-launch link over a real local socket: what it takes, what it
// drops, and where the socket lies.
#include "CInstanceLink.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

TEST(InstanceLink, OnlyWholeWellFormedHandOversFromThisUserArrive)
{
    TempFolder tmp;
    const juce::File run = privateFolder(tmp.file("run"));
    ScopedEnv runtime("XDG_RUNTIME_DIR", run.getFullPathName().toRawUTF8());
    std::vector<Received> got;
    CInstanceLink link;
    link.startListening([&](const juce::File& f, const juce::String& l) { got.push_back({f, l}); });
    ASSERT_TRUE(link.isListening());
    const juce::String path = CInstanceLink::socketPath();

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
    pumpMessages(200);
    ::close(stalled);
    ASSERT_EQ(got.size(), 1u) << "only the well-formed hand-over arrives";
    EXPECT_EQ(got[0].folder, tmp.get());
    EXPECT_EQ(got[0].line, "\"My Bank.ksqx\" -x");

    // The program's own sender, with text beyond ASCII.
    const juce::String line = juce::CharPointer_UTF8("\"Bl\xc3\xa4ue Ch\xc3\xb6re.ksqx\"");
    const juce::File start = tmp.file(juce::CharPointer_UTF8("M\xc3\xbcsik"));
    EXPECT_TRUE(CInstanceLink::sendToRunningInstance(line, start, 0));
    EXPECT_TRUE(pumpUntil([&] { return got.size() == 2; }, 3000));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].folder, start);
    EXPECT_EQ(got[1].line, line);
    // One too long to be taken is not sent at all.
    EXPECT_FALSE(CInstanceLink::sendToRunningInstance(juce::String::repeatedString("a", 70000), start, 0));

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
        pumpMessages(400);
        EXPECT_EQ(got.size(), 2u) << "a hand-over from another user was taken";
    }
}

TEST(InstanceLink, TheSocketLiesWhereOnlyThisUserCanReachIt)
{
    TempFolder tmp;
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
            EXPECT_FALSE(CInstanceLink::sendToRunningInstance("x", tmp.get(), 0));
            continue;
        }
        EXPECT_EQ(modeOf(juce::File(c.expected).getParentDirectory()) & 077, 0);
        EXPECT_EQ(modeOf(juce::File(c.expected)) & 077, 0);
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
