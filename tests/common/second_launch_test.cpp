// A second launch of the real program hands its command line to the running
// instance over the real socket: the test process plays the running instance
// (this user's instance lock, the link, a main window with its table) and
// starts the unchanged program as the second launch from folders of its own.
#include "CInstanceLink.h"
#include "CProgNameTable.h"
#include "DataFolderRedirect.h"
#include "KSPLLibApp.h"
#include "KSPLLibAppWindow.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
// The tests that start the real programs, in every checkout here, take turns
// through this lock (another checkout's build may still keep one instance
// for the whole machine), and so does this test.
struct GuiTestsTurn
{
    GuiTestsTurn()
    {
        m_fd = ::open("/tmp/ksqx-gui-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        const auto end = juce::Time::getMillisecondCounter() + 600000u;
        while (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        {
            if (juce::Time::getMillisecondCounter() >= end)
            {
                ::close(m_fd);
                m_fd = -1;
                break;
            }
            juce::Thread::sleep(200);
        }
    }
    ~GuiTestsTurn()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int m_fd = -1;
};

// Starts the program in `folder` with `args`; runs the message loop (so the
// link takes the hand-over) until it ends, at most 20 s. Its exit code, or -1.
int runProgramIn(const juce::File& folder, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{KSQX_PROGRAM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.getFullPathName().toRawUTF8());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return -1;
    int status = 0;
    const bool ended = pumpUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 20000);
    if (!ended)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writeLibrary(const juce::File& f, int seed)
{
    f.getParentDirectory().createDirectory();
    const auto block = progBlock(seed);
    return f.replaceWithData(block.data(), block.size());
}
} // namespace

TEST(SecondLaunch, TheRunningInstanceOpensTheFileNamedWhereTheLaunchStarted)
{
    TempFolder tmp;
    ScopedDataFolder data{tmp.get()};
    BoxRecorder boxes;
    const juce::File cwdBefore = juce::File::getCurrentWorkingDirectory();

    const TempFolder sockets{TempFolder::ShortPath{}};
    const juce::File run = sockets.file("run");
    ASSERT_TRUE(run.createDirectory().wasOk());
    ASSERT_EQ(::chmod(run.getFullPathName().toRawUTF8(), 0700), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", run.getFullPathName().toRawUTF8());

    // The running instance's own folder holds files of the same names (seed
    // 9): a name taken from the wrong folder opens one of them.
    const juce::File instance = tmp.file("instance"), launch = tmp.file("launch"), elsewhere = tmp.file("abs");
    for (const char* name : {"bank.ksqx", "My Bank.ksqx", "sub/bank.ksqx", "only-here.ksqx"})
        ASSERT_TRUE(writeLibrary(instance.getChildFile(name), 9));
    ASSERT_TRUE(writeLibrary(launch.getChildFile("bank.ksqx"), 2));
    ASSERT_TRUE(writeLibrary(launch.getChildFile("My Bank.ksqx"), 3));
    ASSERT_TRUE(writeLibrary(launch.getChildFile("sub/bank.ksqx"), 4));
    ASSERT_TRUE(writeLibrary(elsewhere.getChildFile("other.ksqx"), 5));
    ASSERT_TRUE(launch.getChildFile("Dir.ksqx").createDirectory().wasOk());

    GuiTestsTurn turn;
    ASSERT_GE(turn.m_fd, 0) << "no turn among the GUI tests within 10 minutes";
    KSPLLibApp app;
    app.m_pMainWindow = new KSPLLibAppWindow();
    ASSERT_TRUE(app.listenForSecondLaunches()) << "another instance of the program has the test's lock";
    // Where the running instance was left (its start-up moved it to the
    // settings folder).
    instance.setAsCurrentWorkingDirectory();
    CProgNameTable* table = app.m_pMainWindow->m_pProgNameTable;
    ASSERT_NE(table, nullptr);
    boxes.boxes.clear();

    struct Case
    {
        const char* what;
        juce::File startIn;
        std::vector<std::string> args;
        int seed;          // the rows added come from progBlock(seed); 0: none added
        const char* rows;  // their file name
    };
    // The macOS program receives its arguments joined without quotes, so a
    // name with a blank falls apart there.
    const int blankSeed = KSQX_TARGET_MAC ? 0 : 3;
    const std::vector<Case> cases = {
        {"relative", launch, {"bank.ksqx"}, 2, "bank"},
        {"relative in a subfolder", launch, {"sub/bank.ksqx"}, 4, "bank"},
        {"relative upwards", launch.getChildFile("sub"), {"../bank.ksqx"}, 2, "bank"},
        {"absolute", launch, {elsewhere.getChildFile("other.ksqx").getFullPathName().toStdString()}, 5, "other"},
        {"a name with a blank", launch, {"My Bank.ksqx"}, blankSeed, "My Bank"},
        {"\"-\" arguments first", launch, {"-x", "--y=1", "bank.ksqx"}, 2, "bank"},
        {"only \"-\" arguments", launch, {"-x", "-bank.ksqx"}, 0, ""},
        {"no file", launch, {}, 0, ""},
        {"a name only the running instance's folder holds", launch, {"only-here.ksqx"}, 0, ""},
        {"a folder named like a library file", launch, {"Dir.ksqx"}, 0, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        table->Close();
        boxes.boxes.clear();

        EXPECT_EQ(runProgramIn(c.startIn, c.args), 0);
        const int expectedRows = c.seed != 0 ? 200 : 100;
        // The link polls every 100 ms; give a slow machine its time.
        pumpUntil([&] { return table->getNumRows() >= expectedRows; }, 3000);
        if (c.seed == 0) // a late hand-over would still show up here
            EXPECT_TRUE(holdsFor([&] { return table->getNumRows() == expectedRows; }, 300));
        ASSERT_EQ(table->getNumRows(), expectedRows);
        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), instance) << "the running instance stays where it was";
        if (c.seed == 0)
            continue;
        EXPECT_EQ(table->getLastRowSelected(), 100) << "the first new row is selected";
        for (int k = 0; k < 100; ++k)
        {
            ASSERT_EQ(table->getRecord(100 + k)->getFileName(), juce::String(c.rows)) << k;
            ASSERT_EQ(rowValues(*table, 100 + k), progValues(c.seed, k)) << k;
        }
    }

    delete app.m_pMainWindow;
    app.m_pMainWindow = nullptr;
    cwdBefore.setAsCurrentWorkingDirectory();
}

// The same hand-over when this user's runtime folder is too deep for a
// socket's path: the unchanged program, launched a second time, reaches the
// running instance through the folder the link falls back to.
TEST(SecondLaunch, ALongRuntimeFolderStillHandsTheFileOver)
{
    TempFolder tmp;
    ScopedDataFolder data{tmp.get()};
    BoxRecorder boxes;
    const TempFolder sockets{TempFolder::ShortPath{}};
    juce::File run = sockets.file(juce::String::repeatedString("r", 70)).getChildFile(juce::String::repeatedString("u", 40));
    ASSERT_TRUE(run.createDirectory().wasOk());
    ASSERT_EQ(::chmod(run.getParentDirectory().getFullPathName().toRawUTF8(), 0700), 0);
    ASSERT_EQ(::chmod(run.getFullPathName().toRawUTF8(), 0700), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", run.getFullPathName().toRawUTF8());
    ScopedEnv tmpdir("TMPDIR", sockets.get().getFullPathName().toRawUTF8());
    const juce::File launch = tmp.file("launch");
    ASSERT_TRUE(writeLibrary(launch.getChildFile("bank.ksqx"), 2));

    GuiTestsTurn turn;
    ASSERT_GE(turn.m_fd, 0) << "no turn among the GUI tests within 10 minutes";
    KSPLLibApp app;
    app.m_pMainWindow = new KSPLLibAppWindow();
    EXPECT_TRUE(app.listenForSecondLaunches()) << "the running instance takes no hand-over";
    CProgNameTable* table = app.m_pMainWindow->m_pProgNameTable;
    ASSERT_NE(table, nullptr);

    EXPECT_EQ(runProgramIn(launch, {"bank.ksqx"}), 0);
    pumpUntil([&] { return table->getNumRows() >= 200; }, 3000);
    ASSERT_EQ(table->getNumRows(), 200) << "the second launch's file was not opened";
    for (int k = 0; k < 100; ++k)
        ASSERT_EQ(rowValues(*table, 100 + k), progValues(2, k)) << k;

    delete app.m_pMainWindow;
    app.m_pMainWindow = nullptr;
}
