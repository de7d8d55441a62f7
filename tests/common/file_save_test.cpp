// Saving the user area as a library file, and the open and save dialogs'
// shared folder: the names written, a file that is always exactly the block,
// the replace question, and that every failure reports and leaves an
// existing file exactly as it was.
#include "ActionManager.h"
#include "CConfigDialogComponent.h"
#include "CFileUtil.h"
#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using Bytes = std::vector<unsigned char>;

const char* const kSaveErrorText = "This file (or this location) is set to read-only.\n\r"
                                   "Try again with a different file name (or a different location).";

Bytes contentOf(const juce::File& f)
{
    juce::MemoryBlock data;
    f.loadFileAsData(data);
    const auto* p = static_cast<const unsigned char*>(data.getData());
    return Bytes(p, p + data.getSize());
}

void writeBytes(const juce::File& f, size_t size, unsigned char fill)
{
    const Bytes data(size, fill);
    ASSERT_TRUE(f.replaceWithData(data.data(), data.size()));
}

juce::StringArray namesIn(const juce::File& folder)
{
    juce::StringArray names;
    for (const auto& f : folder.findChildFiles(juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles,
                                               false, "*", juce::File::FollowSymlinks::no))
        names.add(f.getFileName());
    // Hidden ones too: a temporary file left behind would be one.
    for (const auto& f : folder.findChildFiles(juce::File::findFilesAndDirectories, false, ".*",
                                               juce::File::FollowSymlinks::no))
        names.addIfNotAlreadyThere(f.getFileName());
    names.sort(false);
    return names;
}

void expectSaveError(const std::vector<CDialogUtil::Box>& boxes)
{
    ASSERT_EQ(boxes.size(), 1u);
    const auto& box = boxes.back();
    EXPECT_FALSE(box.okCancel);
    EXPECT_EQ(box.icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ(box.title, "File Save Error:");
    EXPECT_EQ(box.message, kSaveErrorText);
    EXPECT_EQ(box.button1, "  OK  ");
}

// A command target with a table whose user area holds programs of seed 5,
// file dialogs that answer with `choice` and record what they were asked,
// and the working directory restored afterwards.
struct FileCommands : ::testing::Test
{
    TempFolder temp;
    BoxRecorder boxes;
    juce::File startCwd = juce::File::getCurrentWorkingDirectory();
    std::unique_ptr<CProgNameTable> table = std::make_unique<CProgNameTable>();
    ActionManager actions;
    juce::File choice;
    std::vector<CDialogUtil::FileRequest> requests;

    FileCommands()
    {
        table->setSize(800, 600);
        table->initialize();
        const auto block = progBlock(5);
        std::copy(block.begin(), block.end(), table->m_ucReadProgData);
        table->UpdateUserProg();
        actions.setProgNameTable(table.get());
        actions.setMenuEnable(true);
        CDialogUtil::setFileHandler([this](const CDialogUtil::FileRequest& r) {
            requests.push_back(r);
            return choice;
        });
        temp.get().setAsCurrentWorkingDirectory();
    }

    ~FileCommands() override
    {
        CDialogUtil::setFileHandler(nullptr);
        startCwd.setAsCurrentWorkingDirectory();
    }

    juce::File folder(const juce::String& name)
    {
        auto f = temp.file(name);
        f.createDirectory();
        return f;
    }

    // The library file of the user area as it is now.
    Bytes expectedFile()
    {
        Bytes block((size_t) kProgDumpBlockSize);
        for (int r = 0; r < kUserProgCount; ++r)
            table->CopyProgForWrite(r, block.data() + r * kProgDumpSize);
        return block;
    }

    void save(const juce::File& chosen)
    {
        choice = chosen;
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(ActionManager::kCmdFileSave)));
    }
    void open(const juce::File& chosen)
    {
        choice = chosen;
        EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(ActionManager::kCmdFileOpen)));
    }
};

// The reader takes the file: 100 library rows holding the user area's
// programs.
void expectReaderAccepts(const juce::File& file)
{
    CProgNameTable reader;
    reader.initialize();
    reader.openWithFile(file, false); // an error box would end up in the fixture's recorder
    ASSERT_EQ(reader.getNumRows(), 2 * kUserProgCount);
    for (int k = 0; k < kUserProgCount; ++k)
        ASSERT_EQ(rowValues(reader, kUserProgCount + k), progValues(5, k)) << k;
}
} // namespace

TEST_F(FileCommands, TheNameWrittenAndAFileOfExactlyTheBlock)
{
    struct Case
    {
        const char* typed;
        const char* written;
    };
    const Case cases[] = {
        {"bank", "bank.ksqx"},           {"bank.txt", "bank.txt.ksqx"}, {"bank.KSQX", "bank.KSQX.ksqx"},
        {"bank.ksqx", "bank.ksqx"},      {"bank.", "bank..ksqx"},      {"my.bank.ksqx", "my.bank.ksqx"},
        {"bank.ksqx.bak", "bank.ksqx.bak.ksqx"},
    };
    int n = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.typed);
        const juce::File dir = folder("case" + juce::String(n++));
        const juce::File cwdBefore = juce::File::getCurrentWorkingDirectory();
        requests.clear();
        boxes.boxes.clear();

        save(dir.getChildFile(c.typed));

        ASSERT_EQ(requests.size(), 1u);
        EXPECT_TRUE(requests[0].save);
        EXPECT_TRUE(requests[0].title.isEmpty());
        EXPECT_EQ(requests[0].startIn, cwdBefore);
        EXPECT_EQ(requests[0].patterns, "*.ksqx");
        EXPECT_TRUE(requests[0].warnAboutOverwriting);

        EXPECT_TRUE(boxes.boxes.empty());
        EXPECT_EQ(namesIn(dir), juce::StringArray(c.written)) << "one file, no leftovers";
        const juce::File written = dir.getChildFile(c.written);
        EXPECT_EQ(contentOf(written), expectedFile());
        expectReaderAccepts(written);
        EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), dir) << "the dialog's folder is remembered";
    }
}

TEST_F(FileCommands, SavingOverALongerFileLeavesExactlyTheBlock)
{
    // Typed with the extension (the dialog asked), and without it (answered
    // " Yes " here).
    for (const char* typed : {"bank.ksqx", "bank"})
    {
        SCOPED_TRACE(typed);
        const juce::File dir = folder(juce::String("over_") + (typed[4] ? "ext" : "plain"));
        const juce::File target = dir.getChildFile("bank.ksqx");
        writeBytes(target, 5000, 0xAB);
        boxes.boxes.clear();
        boxes.answers = {true};

        save(dir.getChildFile(typed));

        EXPECT_EQ(boxes.boxes.size(), typed[4] ? 0u : 1u);
        EXPECT_EQ(target.getSize(), kProgDumpBlockSize);
        EXPECT_EQ(contentOf(target), expectedFile());
        EXPECT_EQ(namesIn(dir), juce::StringArray("bank.ksqx"));
        expectReaderAccepts(target);
    }
}

TEST_F(FileCommands, ReplaceQuestionForTheNameWithTheExtensionAdded)
{
    const juce::File dir = folder("replace");
    const juce::File target = dir.getChildFile("bank.ksqx");
    for (bool yes : {false, true})
    {
        SCOPED_TRACE(yes ? "Yes" : "No");
        writeBytes(target, kProgDumpBlockSize, 0x11);
        boxes.boxes.clear();
        boxes.answers = {yes};

        save(dir.getChildFile("bank"));

        ASSERT_EQ(boxes.boxes.size(), 1u);
        const auto& box = boxes.boxes[0];
        EXPECT_EQ(box, okCancelBox(juce::MessageBoxIconType::WarningIcon, "Confirm Save As:", "bank.ksqx already exists.\n\rDo you want to replace it?", " Yes ", "  No  "));
        EXPECT_EQ(contentOf(target), yes ? expectedFile() : Bytes((size_t) kProgDumpBlockSize, 0x11));
        EXPECT_EQ(namesIn(dir), juce::StringArray("bank.ksqx"));
    }
}

TEST_F(FileCommands, NoFileFromTheDialogChangesNothing)
{
    const juce::File sub = folder("sub");
    const juce::File folderNamedLikeALibrary = folder("looks.ksqx");
    for (const juce::File& answer : {juce::File(), sub, folderNamedLikeALibrary})
    {
        SCOPED_TRACE(answer.getFullPathName());
        for (int command : {ActionManager::kCmdFileSave, ActionManager::kCmdFileOpen})
        {
            choice = answer;
            EXPECT_TRUE(actions.perform(juce::ApplicationCommandTarget::InvocationInfo(command)));
            EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), temp.get());
        }
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(namesIn(temp.get()), juce::StringArray({"looks.ksqx", "sub"}));
    EXPECT_TRUE(namesIn(sub).isEmpty());
    EXPECT_TRUE(namesIn(folderNamedLikeALibrary).isEmpty());
    EXPECT_EQ(table->getNumRows(), kUserProgCount);
}

TEST_F(FileCommands, UnwritableTargetsReportAndWriteNothing)
{
    // Cases that stop root as well as anybody else.
    const juce::File plainFile = temp.file("plain");
    writeBytes(plainFile, 10, 0x22);
    const juce::File dir = folder("targets");
    const juce::File folderTarget = dir.getChildFile("bank.ksqx");
    folderTarget.createDirectory();
    folderTarget.getChildFile("inside").create();

    struct Case
    {
        const char* what;
        juce::File chosen;
    };
    const Case cases[] = {
        {"a folder whose path runs through a file", plainFile.getChildFile("bank.ksqx")},
        {"a missing folder", dir.getChildFile("missing").getChildFile("bank.ksqx")},
        {"the name with the extension added is a folder", dir.getChildFile("bank")},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        boxes.boxes.clear();
        boxes.answers = {true}; // " Yes " to the replace question
        save(c.chosen);
        ASSERT_FALSE(boxes.boxes.empty());
        const std::vector<CDialogUtil::Box> last{boxes.boxes.back()};
        expectSaveError(last);
    }
    EXPECT_EQ(contentOf(plainFile), Bytes(10, 0x22));
    EXPECT_EQ(namesIn(dir), juce::StringArray("bank.ksqx"));
    EXPECT_TRUE(folderTarget.isDirectory());
    EXPECT_EQ(namesIn(folderTarget), juce::StringArray("inside"));
}

TEST_F(FileCommands, ReadOnlyFolderAndFileReportAndWriteNothing)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";

    const juce::File roFolder = folder("ro_folder");
    const juce::File rwFolder = folder("rw_folder");
    const juce::File roFile = rwFolder.getChildFile("bank.ksqx");
    writeBytes(roFile, 5000, 0x33);
    ASSERT_TRUE(roFile.setReadOnly(true));
    ASSERT_TRUE(roFolder.setReadOnly(true));

    for (const juce::File& chosen : {roFolder.getChildFile("bank.ksqx"), roFile})
    {
        SCOPED_TRACE(chosen.getFullPathName());
        boxes.boxes.clear();
        save(chosen);
        expectSaveError(boxes.boxes);
    }
    roFolder.setReadOnly(false);
    EXPECT_TRUE(namesIn(roFolder).isEmpty());
    EXPECT_EQ(contentOf(roFile), Bytes(5000, 0x33));
    EXPECT_EQ(namesIn(rwFolder), juce::StringArray("bank.ksqx"));
}

TEST_F(FileCommands, AWriteThatFailsPartWayLeavesTheOldFile)
{
    // A file size limit makes the write stop after 1000 bytes, as a full
    // disk would; it binds root too. Writes past it fail instead of
    // raising SIGXFSZ.
    const juce::File dir = folder("partway");
    const juce::File existing = dir.getChildFile("bank.ksqx");
    writeBytes(existing, 5000, 0x44);
    const juce::File fresh = dir.getChildFile("fresh.ksqx");

    for (const juce::File& target : {existing, fresh})
    {
        SCOPED_TRACE(target.getFileName());
        boxes.boxes.clear();
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 1000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

        save(target);

        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        expectSaveError(boxes.boxes);
    }
    EXPECT_EQ(contentOf(existing), Bytes(5000, 0x44));
    EXPECT_EQ(namesIn(dir), juce::StringArray("bank.ksqx")) << "no new file, no temporary left";
}

TEST_F(FileCommands, OpenMovesTheFolderThatSaveStartsIn)
{
    const juce::File libFolder = folder("library");
    const juce::File lib = libFolder.getChildFile("lib.ksqx");
    const auto block = progBlock(6);
    ASSERT_TRUE(lib.replaceWithData(block.data(), block.size()));

    open(lib);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].save);
    EXPECT_TRUE(requests[0].title.isEmpty());
    EXPECT_EQ(requests[0].startIn, temp.get());
    EXPECT_EQ(requests[0].patterns, "*.ksqx");
    EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), libFolder);
    ASSERT_EQ(table->getNumRows(), 2 * kUserProgCount);
    EXPECT_EQ(rowValues(*table, kUserProgCount + 7), progValues(6, 7));
    EXPECT_EQ(table->getLastRowSelected(), kUserProgCount) << "the first new row is selected";

    open(juce::File()); // cancelled: nothing moves
    EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), libFolder);
    EXPECT_EQ(table->getNumRows(), 2 * kUserProgCount);

    save(juce::File());
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].startIn, libFolder);
    EXPECT_EQ(namesIn(libFolder), juce::StringArray("lib.ksqx"));
}

namespace
{
int modeOf(const juce::File& f)
{
    struct stat st{};
    return ::stat(f.getFullPathName().toRawUTF8(), &st) == 0 ? (int) (st.st_mode & 07777) : -1;
}

void setMode(const juce::File& f, int mode) { ASSERT_EQ(::chmod(f.getFullPathName().toRawUTF8(), (mode_t) mode), 0); }

void makeLink(const juce::File& link, const juce::String& to)
{
    link.getParentDirectory().createDirectory();
    ASSERT_EQ(::symlink(to.toRawUTF8(), link.getFullPathName().toRawUTF8()), 0);
}

// While it lives, a file stops growing at the given size, as on a full disk;
// it binds root too, and writes past it fail instead of raising SIGXFSZ.
struct SmallFileLimit
{
    explicit SmallFileLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~SmallFileLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
    }
    rlimit saved{};
    void (*oldHandler)(int) = nullptr;
};
} // namespace

// A group of this user's other than the one new files get; -1 when the
// process has none.
gid_t otherGroupOfThisUser()
{
    gid_t groups[64];
    const int n = ::getgroups(64, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] != ::getegid())
            return groups[i];
    return (gid_t) -1;
}

void setGroup(const juce::File& f, gid_t gid) { ASSERT_EQ(::lchown(f.getFullPathName().toRawUTF8(), (uid_t) -1, gid), 0); }

// Runs `write` in a child process that the system ends part-way through the
// write, as a crash would: its files stop growing at `limit` bytes, and the
// write past that raises SIGXFSZ, which ends it. True when it ended so.
bool crashesPartWay(rlim_t limit, const std::function<void()>& write)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        rlimit small{};
        ::getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        write();
        ::_exit(0);
    }
    if (pid < 0)
        return false;
    int status = 0;
    for (int i = 0; i < 1000 && ::waitpid(pid, &status, WNOHANG) != pid; ++i)
        ::usleep(10000);
    if (::waitpid(pid, &status, WNOHANG) == 0)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return false;
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ;
}

// Whether `name` is what a write of `target` leaves behind when it is cut
// short: a hidden name in the same folder that does not pass for a library
// or settings file.
bool isLeftoverOf(const std::string& name, const juce::String& target)
{
    const std::string prefix = "." + target.toStdString() + ".";
    const auto endsWith = [&](const char* tail) {
        const size_t n = std::strlen(tail);
        return name.size() >= n && name.compare(name.size() - n, n, tail) == 0;
    };
    return name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size() && !endsWith(".ksqx")
           && !endsWith(".ksqc");
}

// Both writers, Save and the settings file, over the file system's links and
// permissions. Run as an ordinary user too (scripts/unprivileged-tests.sh):
// only then does a read-only folder stop the file made beside the target.
TEST_F(FileCommands, SaveAndSettingsWriteTheFileTheNameLeadsTo)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const int defaultMode = (int) (0666 & ~mask);
    const Bytes old(5000, 0x11);

    // A file of old bytes (`fill` tells a namesake apart in a failure).
    const auto put = [&](const juce::File& f, int mode, unsigned char fill = 0x11) {
        f.getParentDirectory().createDirectory();
        writeBytes(f, old.size(), fill);
        setMode(f, mode);
    };
    // home/lib is a link to data/lib; data/shared and home/shared both exist,
    // so "home/lib/../shared" taken as text names a real folder, the wrong one.
    const auto linkedLib = [&](const juce::File& d) {
        d.getChildFile("data/lib").createDirectory();
        d.getChildFile("data/shared").createDirectory();
        d.getChildFile("home/shared").createDirectory();
        makeLink(d.getChildFile("home/lib"), "../data/lib");
    };

    struct Case
    {
        const char* what;
        // Makes the case in `dir`: sets the name handed to the writer and the
        // file that should take the bytes.
        std::function<void(const juce::File& dir, juce::File& name, juce::File& real)> make;
        bool written;          // false: refused, and the old file is as it was
        int mode;              // of the real file afterwards; -1: a new file's default
        bool failingWrite = false;
        const char* alsoName = nullptr; // another name of the file that must show the same bytes
        bool crashes = false; // the process ends part-way through the write
    };
    const gid_t otherGroup = otherGroupOfThisUser();
    ASSERT_NE(otherGroup, (gid_t) -1) << "this user needs a second group (scripts/unprivileged-tests.sh gives one)";
    const std::vector<Case> cases = {
        {"a link to a file",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("real.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0640);
             n = d.getChildFile("link.ksqx"); makeLink(n, "real.ksqx");
         }, true, 0640},
        {"a chain of links, absolute and relative, across folders",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("a/real.ksqx"); d.getChildFile("a").createDirectory();
             writeBytes(r, old.size(), 0x11); setMode(r, 0600);
             makeLink(d.getChildFile("b/second.ksqx"), r.getFullPathName());
             n = d.getChildFile("link.ksqx"); makeLink(n, "b/second.ksqx");
         }, true, 0600},
        {"a link to a missing file",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("new.ksqx");
             n = d.getChildFile("link.ksqx"); makeLink(n, "new.ksqx");
         }, true, -1},
        {"a file's permissions",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0604);
         }, true, 0604},
        {"a file with a second name",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0644);
             ASSERT_EQ(::link(r.getFullPathName().toRawUTF8(), d.getChildFile("other name").getFullPathName().toRawUTF8()), 0);
         }, true, 0644, false, "other name"},
        {"a writable file in a read-only folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("ro/bank.ksqx"); d.getChildFile("ro").createDirectory();
             writeBytes(r, old.size(), 0x11); setMode(r, 0644); setMode(d.getChildFile("ro"), 0555);
         }, true, 0644},
        {"a file of another of the user's groups",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); put(r, 0640); setGroup(r, otherGroup);
         }, true, 0640},
        {"a file in a folder that gives new files another of the user's groups",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             const juce::File shared = d.getChildFile("shared");
             shared.createDirectory(); setGroup(shared, otherGroup); setMode(shared, 02775);
             // The file keeps the group new files get elsewhere.
             r = n = shared.getChildFile("bank.ksqx"); put(r, 0664); setGroup(r, ::getegid());
         }, true, 0664},
        {"a file of another of the user's groups, the process ending part-way through the write",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); put(r, 0640); setGroup(r, otherGroup);
         }, false, 0640, false, nullptr, true},
        {"a file of the user's own, the process ending part-way through the write",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); put(r, 0644);
         }, false, 0644, false, nullptr, true},
        {"a new file, the process ending part-way through the write",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("new.ksqx");
         }, false, 0, false, nullptr, true},
        {"a read-only file",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0444);
         }, false, 0444},
        {"a link to a read-only file",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("real.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0444);
             n = d.getChildFile("link.ksqx"); makeLink(n, "real.ksqx");
         }, false, 0444},
        {"a write that fails part-way",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("bank.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0644);
         }, false, 0644, true},
        {"a write that fails part-way through a link",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("real.ksqx"); writeBytes(r, old.size(), 0x11); setMode(r, 0644);
             n = d.getChildFile("link.ksqx"); makeLink(n, "real.ksqx");
         }, false, 0644, true},
        {"a write that fails part-way in a read-only folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = n = d.getChildFile("ro/bank.ksqx"); d.getChildFile("ro").createDirectory();
             writeBytes(r, old.size(), 0x11); setMode(r, 0644); setMode(d.getChildFile("ro"), 0555);
         }, false, 0644, true},
        {"a link in a linked folder, climbing out of it with ..",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             r = d.getChildFile("data/shared/live.ksqx"); put(r, 0640);
             put(d.getChildFile("home/shared/live.ksqx"), 0644, 0x22);
             makeLink(d.getChildFile("data/lib/live.ksqx"), "../shared/live.ksqx");
             n = d.getChildFile("home/lib/live.ksqx");
         }, true, 0640},
        {"a linked folder further up, the link climbing past it",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             d.getChildFile("data/deep/store/lib").createDirectory();
             makeLink(d.getChildFile("home/up"), d.getChildFile("data/deep/store").getFullPathName());
             makeLink(d.getChildFile("data/deep/store/lib/live.ksqx"), "../../shared/live.ksqx");
             r = d.getChildFile("data/deep/shared/live.ksqx"); put(r, 0600);
             put(d.getChildFile("home/shared/live.ksqx"), 0644, 0x22);
             n = d.getChildFile("home/up/lib/live.ksqx");
         }, true, 0600},
        {"a chain of links through linked folders",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             d.getChildFile("data/p/a").createDirectory();
             d.getChildFile("data/q/b").createDirectory();
             makeLink(d.getChildFile("home/a"), "../data/p/a");
             makeLink(d.getChildFile("data/p/b"), "../q/b");
             makeLink(d.getChildFile("data/p/a/one.ksqx"), "../b/two.ksqx");
             makeLink(d.getChildFile("data/q/b/two.ksqx"), "../three.ksqx");
             r = d.getChildFile("data/q/three.ksqx"); put(r, 0640);
             put(d.getChildFile("home/three.ksqx"), 0644, 0x22);
             n = d.getChildFile("home/a/one.ksqx");
         }, true, 0640},
        {"a link to a missing file in a linked folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             makeLink(d.getChildFile("data/lib/new.ksqx"), "../shared/new.ksqx");
             r = d.getChildFile("data/shared/new.ksqx");
             n = d.getChildFile("home/lib/new.ksqx");
         }, true, -1},
        {"an absolute link through a linked folder and out with ..",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             r = d.getChildFile("data/shared/live.ksqx"); put(r, 0644);
             put(d.getChildFile("home/shared/live.ksqx"), 0644, 0x22);
             n = d.getChildFile("link.ksqx");
             makeLink(n, d.getFullPathName() + "/home/lib/../shared/live.ksqx");
         }, true, 0644},
        {"a read-only file reached through a linked folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             r = d.getChildFile("data/shared/live.ksqx"); put(r, 0444);
             put(d.getChildFile("home/shared/live.ksqx"), 0644, 0x22);
             makeLink(d.getChildFile("data/lib/live.ksqx"), "../shared/live.ksqx");
             n = d.getChildFile("home/lib/live.ksqx");
         }, false, 0444},
        {"a writable file in a read-only folder reached through a linked folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             r = d.getChildFile("data/ro/live.ksqx"); put(r, 0644);
             setMode(d.getChildFile("data/ro"), 0555);
             put(d.getChildFile("home/ro/live.ksqx"), 0644, 0x22);
             makeLink(d.getChildFile("data/lib/live.ksqx"), "../ro/live.ksqx");
             n = d.getChildFile("home/lib/live.ksqx");
         }, true, 0644},
        {"a write that fails part-way through a linked folder",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             linkedLib(d);
             r = d.getChildFile("data/shared/live.ksqx"); put(r, 0640);
             put(d.getChildFile("home/shared/live.ksqx"), 0644, 0x22);
             makeLink(d.getChildFile("data/lib/live.ksqx"), "../shared/live.ksqx");
             n = d.getChildFile("home/lib/live.ksqx");
         }, false, 0640, true},
        {"the longest chain of links the system follows (40)",
         [&](const juce::File& d, juce::File& n, juce::File& r) {
             r = d.getChildFile("real.ksqx"); put(r, 0644);
             for (int i = 1; i <= 40; ++i)
                 makeLink(d.getChildFile("l" + juce::String(i) + ".ksqx"), i == 1 ? "real.ksqx" : "l" + juce::String(i - 1) + ".ksqx");
             n = d.getChildFile("l40.ksqx");
         }, true, 0644},
        // No file to take the bytes: `real` stays juce::File().
        {"a chain of links one longer than the system follows (41)",
         [&](const juce::File& d, juce::File& n, juce::File&) {
             put(d.getChildFile("real.ksqx"), 0644);
             for (int i = 1; i <= 41; ++i)
                 makeLink(d.getChildFile("l" + juce::String(i) + ".ksqx"), i == 1 ? "real.ksqx" : "l" + juce::String(i - 1) + ".ksqx");
             n = d.getChildFile("l41.ksqx");
         }, false, 0},
        {"links through a linked folder, 41 in all",
         [&](const juce::File& d, juce::File& n, juce::File&) {
             // f/l20 -> f/l19 -> ... -> f/l0, each hop also through f -> g.
             put(d.getChildFile("g/l0.ksqx"), 0644);
             makeLink(d.getChildFile("f"), "g");
             for (int i = 1; i <= 20; ++i)
                 makeLink(d.getChildFile("g/l" + juce::String(i) + ".ksqx"), "../f/l" + juce::String(i - 1) + ".ksqx");
             n = d.getChildFile("f/l20.ksqx");
         }, false, 0},
        {"links in a loop",
         [&](const juce::File& d, juce::File& n, juce::File&) {
             makeLink(d.getChildFile("two.ksqx"), "one.ksqx");
             n = d.getChildFile("one.ksqx"); makeLink(n, "two.ksqx");
         }, false, 0},
        {"folder links in a loop on the way",
         [&](const juce::File& d, juce::File& n, juce::File&) {
             makeLink(d.getChildFile("a"), "b");
             makeLink(d.getChildFile("b"), "a");
             n = d.getChildFile("a/bank.ksqx");
         }, false, 0},
    };

    unsigned char settings[kConfigDataSize];
    std::memcpy(settings, CConfigDialogComponent::ucInitConfigData, kConfigDataSize);
    int n = 0;
    for (const auto& c : cases)
        for (const bool viaSave : {true, false})
        {
            SCOPED_TRACE(juce::String(c.what) + (viaSave ? ", Save" : ", settings file"));
            const juce::File dir = folder("w" + juce::String(n++));
            juce::File name, real;
            // A fatal failure of an earlier case (a missing box) must not stop the rest.
            const bool failedBefore = testing::Test::HasFatalFailure();
            c.make(dir, name, real);
            if (!failedBefore)
                ASSERT_FALSE(testing::Test::HasFatalFailure()) << "the case could not be made";
            const bool hasReal = real != juce::File();
            const bool nameIsLink = name != real;
            const juce::StringArray namesBefore = hasReal ? namesIn(real.getParentDirectory()) : juce::StringArray();
            const bool existed = real.exists();
            const Bytes expected = viaSave ? expectedFile() : Bytes(settings, settings + kConfigDataSize);
            // The real file as a path below the case's folder, with no link on it.
            const std::string dirReal = realPathOf(dir);
            const std::string realKey = hasReal ? (realPathOf(real.getParentDirectory()) + "/"
                                                   + real.getFileName().toStdString()).substr(dirReal.size())
                                                : std::string();
            if (existed)
                ASSERT_EQ(realPathOf(name), realPathOf(real)) << "the system opens this file for the name";
            const FileTree before = fileTreeOf(dir);
            boxes.boxes.clear();

            bool reported = false;
            if (c.crashes)
                EXPECT_TRUE(crashesPartWay(expected.size() / 2, [&] {
                    if (viaSave)
                        save(name);
                    else
                        CConfigDialogComponent::writeSettingsFile(name, settings);
                })) << "the write did not end the process part-way";
            else
            {
                std::unique_ptr<SmallFileLimit> limit(c.failingWrite ? new SmallFileLimit(expected.size() / 2) : nullptr);
                if (viaSave)
                    save(name);
                else
                    reported = !CConfigDialogComponent::writeSettingsFile(name, settings);
            }
            if (c.crashes)
                ; // the process that wrote it reported nothing
            else if (viaSave)
            {
                if (!c.written)
                    expectSaveError(boxes.boxes);
                else
                    EXPECT_TRUE(boxes.boxes.empty());
            }
            else
                EXPECT_EQ(reported, !c.written);

            // Only the file the name leads to changed; every other file,
            // folder and link below the case's folder is as it was.
            FileTree after = before;
            if (c.written)
            {
                TreeEntry entry = existed ? before.at(realKey) : fileEntry(expected, defaultMode);
                entry.data.assign(expected.begin(), expected.end());
                after[realKey] = entry;
                if (c.alsoName != nullptr)
                    after["/" + std::string(c.alsoName)] = entry;
                EXPECT_EQ(realPathOf(name), dirReal + realKey);
                EXPECT_EQ(contentOf(name), expected) << "reading the name gives the bytes written";
            }
            FileTree now = fileTreeOf(dir);
            if (c.crashes)
            {
                // What the cut-short write left beside the file, if anything.
                const std::string folderKey = realKey.substr(0, realKey.rfind('/') + 1);
                int leftovers = 0;
                for (auto it = now.begin(); it != now.end();)
                {
                    const std::string& key = it->first;
                    const bool beside = key.compare(0, folderKey.size(), folderKey) == 0
                                        && key.find('/', folderKey.size()) == std::string::npos;
                    if (beside && !before.count(key) && isLeftoverOf(key.substr(folderKey.size()), real.getFileName()))
                    {
                        ++leftovers;
                        it = now.erase(it);
                    }
                    else
                        ++it;
                }
                EXPECT_LE(leftovers, 1);
            }
            expectSameTree(after, now);
            if (!hasReal)
                continue;

            if (!existed && !c.written)
            {
                EXPECT_FALSE(real.exists()) << "a new file that was not written whole is not there";
                continue;
            }
            EXPECT_EQ(contentOf(real), c.written ? expected : old);
            EXPECT_EQ(modeOf(real), c.mode < 0 ? defaultMode : c.mode);
            if (nameIsLink)
                EXPECT_TRUE(name.isSymbolicLink()) << "the link stays a link";
            if (c.alsoName != nullptr)
                EXPECT_EQ(contentOf(dir.getChildFile(c.alsoName)), contentOf(real));
            juce::StringArray namesAfter = namesBefore;
            if (!existed && c.written)
                namesAfter.add(real.getFileName());
            namesAfter.sort(false);
            juce::StringArray namesNow = namesIn(real.getParentDirectory());
            if (c.crashes)
                for (int i = namesNow.size(); --i >= 0;)
                    if (isLeftoverOf(namesNow[i].toStdString(), real.getFileName()))
                        namesNow.remove(i);
            EXPECT_EQ(namesNow, namesAfter) << "nothing left beside it";
        }
}

namespace
{
// The test seams of the writer, cleared again at the end of the scope.
struct ScopedFileHooks
{
    ~ScopedFileHooks() { CFileUtil::testHooks() = {}; }
};

// Both writers, the bytes each writes and how each reports a failure.
struct Writer
{
    const char* what;
    bool viaSave;
};
const Writer kWriters[] = {{"Save", true}, {"the settings file", false}};
} // namespace

// What happens to the name between the check and the write: the file checked
// is moved aside and something else takes its name. A file written in place
// (one with a second name) is then refused, whatever came; a replacement
// puts the new file under the name. Either way the file the thing leads to
// is untouched, and so is the file checked, and nothing waits.
TEST_F(FileCommands, AWriteReachesOnlyTheFileThatWasChecked)
{
    ScopedFileHooks clear;
    const Bytes old(5000, 0x11), victimBytes(5000, 0x55);
    struct Swap
    {
        const char* what;
        std::function<void(const juce::File& name, const juce::File& victim)> put;
    };
    const Swap swaps[] = {
        {"a link to another of the user's files",
         [](const juce::File& n, const juce::File& v) { ::symlink(v.getFileName().toRawUTF8(), n.getFullPathName().toRawUTF8()); }},
        {"another name of another of the user's files",
         [](const juce::File& n, const juce::File& v) { ::link(v.getFullPathName().toRawUTF8(), n.getFullPathName().toRawUTF8()); }},
        {"a FIFO", [](const juce::File& n, const juce::File&) { ::mkfifo(n.getFullPathName().toRawUTF8(), 0644); }},
    };
    int n = 0;
    for (const bool secondName : {true, false})
        for (const Swap& swap : swaps)
            for (const Writer& w : kWriters)
            {
                SCOPED_TRACE(juce::String(swap.what) + (secondName ? ", a file with a second name" : ", a file of its own")
                             + ", " + w.what);
                const juce::File dir = folder("swap" + juce::String(n++));
                const juce::File name = dir.getChildFile("bank.ksqx"), aside = dir.getChildFile("checked"),
                                 victim = dir.getChildFile("victim.ksqx"), second = dir.getChildFile("second name");
                ASSERT_TRUE(name.replaceWithData(old.data(), old.size()));
                ASSERT_TRUE(victim.replaceWithData(victimBytes.data(), victimBytes.size()));
                if (secondName)
                    ASSERT_EQ(::link(name.getFullPathName().toRawUTF8(), second.getFullPathName().toRawUTF8()), 0);
                int swapped = 0;
                CFileUtil::testHooks().afterCheck = [&](const juce::File& checked) {
                    ++swapped;
                    ASSERT_EQ(realPathOf(checked), realPathOf(name));
                    ASSERT_TRUE(name.moveFileTo(aside));
                    swap.put(name, victim);
                };
                boxes.boxes.clear();
                bool written = false;
                {
                    Watchdog watchdog(std::string("a write with ") + swap.what + " swapped in", 10);
                    if (w.viaSave)
                    {
                        save(name);
                        written = boxes.boxes.empty();
                    }
                    else
                        written = CConfigDialogComponent::writeSettingsFile(name, CConfigDialogComponent::ucInitConfigData);
                }
                CFileUtil::testHooks().afterCheck = nullptr;
                EXPECT_EQ(swapped, 1);
                EXPECT_EQ(contentOf(victim), victimBytes) << "the other file was written";
                EXPECT_EQ(contentOf(aside), old) << "the file checked changed after all";
                if (secondName)
                    EXPECT_EQ(contentOf(second), old);
                // Written in place it is refused; a replacement takes the name.
                EXPECT_EQ(written, !secondName);
                if (w.viaSave && !written)
                    expectSaveError(boxes.boxes);
                if (written)
                {
                    EXPECT_FALSE(name.isSymbolicLink());
                    const Bytes expected = w.viaSave ? expectedFile()
                                                     : Bytes(CConfigDialogComponent::ucInitConfigData,
                                                             CConfigDialogComponent::ucInitConfigData + kConfigDataSize);
                    EXPECT_EQ(contentOf(name), expected);
                }
                juce::StringArray names{"bank.ksqx", "checked", "victim.ksqx"};
                if (secondName)
                    names.add("second name");
                names.sort(false);
                EXPECT_EQ(namesIn(dir), names) << "nothing left beside it";
            }
}

// The step that puts the new file in the old one's place: what it is given,
// and that the old file is there in full when that step fails, as when the
// system cannot rename the file (on Windows, for one, another program holding
// it).
TEST_F(FileCommands, TheOldFileStaysWhenTheReplacementFails)
{
    ScopedFileHooks clear;
    const Bytes old(5000, 0x11);
    int n = 0;
    for (const bool exists : {true, false})
        for (const bool fails : {true, false})
            for (const Writer& w : kWriters)
            {
                SCOPED_TRACE(juce::String(exists ? "an existing file" : "a new file") + (fails ? ", failing" : "") + ", "
                             + w.what);
                const juce::File dir = folder("replace" + juce::String(n++));
                const juce::File target = dir.getChildFile(w.viaSave ? "bank.ksqx" : "setting.ksqc");
                if (exists)
                    ASSERT_TRUE(target.replaceWithData(old.data(), old.size()));
                const Bytes expected = w.viaSave ? expectedFile()
                                                 : Bytes(CConfigDialogComponent::ucInitConfigData,
                                                         CConfigDialogComponent::ucInitConfigData + kConfigDataSize);
                int calls = 0;
                CFileUtil::testHooks().replace = [&](const juce::File& temp, const juce::File& to) {
                    ++calls;
                    // A fresh, hidden file beside the target, holding all of
                    // the new bytes, with the target still as it was.
                    EXPECT_EQ(temp.getParentDirectory(), dir);
                    EXPECT_EQ(realPathOf(to), realPathOf(target));
                    EXPECT_TRUE(isLeftoverOf(temp.getFileName().toStdString(), target.getFileName()))
                        << temp.getFileName() << " could pass for the file itself";
                    EXPECT_EQ(contentOf(temp), expected);
                    EXPECT_EQ(target.exists(), exists);
                    if (exists)
                        EXPECT_EQ(contentOf(target), old);
                    return !fails && temp.moveFileTo(to);
                };
                boxes.boxes.clear();
                bool written = false;
                if (w.viaSave)
                {
                    save(target);
                    written = boxes.boxes.empty();
                    if (fails)
                        expectSaveError(boxes.boxes);
                }
                else
                    written = CConfigDialogComponent::writeSettingsFile(target, CConfigDialogComponent::ucInitConfigData);
                CFileUtil::testHooks().replace = nullptr;
                EXPECT_EQ(calls, 1);
                EXPECT_EQ(written, !fails);
                if (fails)
                {
                    EXPECT_EQ(target.exists(), exists);
                    if (exists)
                        EXPECT_EQ(contentOf(target), old);
                }
                else
                    EXPECT_EQ(contentOf(target), expected);
                EXPECT_EQ(namesIn(dir), exists || !fails ? juce::StringArray(target.getFileName()) : juce::StringArray())
                    << "nothing left beside it";
            }
}

// A FIFO that takes the file's name at any moment, over and over (the two
// names are swapped back and forth by another thread): Save, the settings
// file read at start-up and written at shut-down, and a library file opened
// each answer within a second, and each either works on the regular file or
// refuses. A call that waits is released after the second, and fails.
TEST_F(FileCommands, NothingWaitsOnAFifoSwappedInForTheFile)
{
    const Bytes library = progBlock(6);
    const Bytes settings(CConfigDialogComponent::ucInitConfigData, CConfigDialogComponent::ucInitConfigData + kConfigDataSize);
    struct Op
    {
        const char* what;
        const char* fileName;
        const Bytes* content;
        std::function<void(const juce::File&)> run;
    };
    unsigned char block[kConfigDataSize];
    const Op ops[] = {
        {"Save over it", "bank.ksqx", &library, [&](const juce::File& f) { save(f); }},
        {"the settings file read at start-up", "setting.ksqc", &settings,
         [&](const juce::File& f) { CConfigDialogComponent::readSettingsFile(f, block); }},
        {"the settings file written at shut-down", "setting.ksqc", &settings,
         [&](const juce::File& f) { CConfigDialogComponent::writeSettingsFile(f, settings.data()); }},
        {"a library file opened", "bank.ksqx", &library,
         [&](const juce::File& f) {
             table->openWithFile(f, false);
             if (table->getNumRows() > kUserProgCount)
             {
                 EXPECT_EQ(rowValues(*table, kUserProgCount + 3), progValues(6, 3));
                 table->Close();
             }
         }},
    };
    int n = 0;
    for (const Op& op : ops)
    {
        SCOPED_TRACE(op.what);
        const juce::File dir = folder("fifo" + juce::String(n++));
        const juce::File name = dir.getChildFile(op.fileName), other = dir.getChildFile("other");
        const std::string namePath = name.getFullPathName().toStdString(), otherPath = other.getFullPathName().toStdString();

        // Between calls the pair is put right again (a regular file and a
        // FIFO), with the swapping held.
        std::atomic<bool> stop{false};
        std::atomic<long> swaps{0};
        std::mutex pair;
        std::thread swapper([&] {
            while (!stop)
            {
                {
                    std::lock_guard<std::mutex> lock(pair);
                    if (::renameat2(AT_FDCWD, namePath.c_str(), AT_FDCWD, otherPath.c_str(), RENAME_EXCHANGE) == 0)
                        ++swaps;
                }
                std::this_thread::yield();
            }
        });
        // Releases a call that waits on the FIFO: opening it for reading and
        // writing at once lets a waiting open through either way.
        std::atomic<juce::uint32> callStarted{0};
        std::atomic<bool> released{false}, done{false};
        std::thread releaser([&] {
            while (!done)
            {
                const juce::uint32 started = callStarted;
                if (started != 0 && juce::Time::getMillisecondCounter() - started > 1000)
                {
                    released = true;
                    stop = true;
                    for (const std::string& p : {namePath, otherPath})
                    {
                        const int fd = ::open(p.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
                        if (fd >= 0)
                        {
                            juce::Thread::sleep(20);
                            ::close(fd);
                        }
                    }
                }
                juce::Thread::sleep(20);
            }
        });

        const auto end = juce::Time::getMillisecondCounter() + 3000;
        int calls = 0;
        while (!released && juce::Time::getMillisecondCounter() < end && (calls < 300 || swaps < 20000))
        {
            const auto pairIsRight = [&] {
                struct stat a{}, b{};
                const bool nameOk = ::lstat(namePath.c_str(), &a) == 0, otherOk = ::lstat(otherPath.c_str(), &b) == 0;
                return nameOk && otherOk
                       && ((S_ISREG(a.st_mode) && S_ISFIFO(b.st_mode)) || (S_ISFIFO(a.st_mode) && S_ISREG(b.st_mode)));
            };
            if (!pairIsRight())
            {
                std::lock_guard<std::mutex> lock(pair);
                if (!pairIsRight())
                {
                    ::unlink(namePath.c_str());
                    ::unlink(otherPath.c_str());
                    ASSERT_TRUE(name.replaceWithData(op.content->data(), op.content->size()));
                    ASSERT_EQ(::mkfifo(otherPath.c_str(), 0644), 0);
                }
            }

            callStarted = juce::Time::getMillisecondCounter();
            op.run(name);
            const juce::uint32 took = juce::Time::getMillisecondCounter() - callStarted;
            callStarted = 0;
            ++calls;
            EXPECT_LT(took, 1000u) << "call " << calls << " waited";
        }
        stop = true;
        done = true;
        swapper.join();
        releaser.join();
        EXPECT_FALSE(released) << "a call waited on the FIFO for more than a second (call " << calls << ")";
        EXPECT_GT(swaps.load(), 1000) << "the names were hardly swapped";
        EXPECT_GE(calls, 100);
    }
}

// A folder this user may enter and write but not read cannot be flushed, so
// it takes no new name: a file already there is written where it is (it
// keeps its mode), and a new file is refused rather than saved where a power
// cut could lose it. Run as an ordinary user: root reads any folder.
TEST_F(FileCommands, AFolderThatCannotBeFlushedTakesNoNewName)
{
    const Bytes old(5000, 0x11);
    int n = 0;
    for (const bool exists : {true, false})
        for (const Writer& w : kWriters)
        {
            SCOPED_TRACE(juce::String(exists ? "an existing file, " : "a new file, ") + w.what);
            const juce::File locked = folder("locked" + juce::String(n++));
            const juce::File target = locked.getChildFile("bank.ksqx");
            if (exists)
            {
                ASSERT_TRUE(target.replaceWithData(old.data(), old.size()));
                setMode(target, 0640);
            }
            setMode(locked, 0311);
            boxes.boxes.clear();
            bool written = false;
            if (w.viaSave)
            {
                save(target);
                written = boxes.boxes.empty();
            }
            else
                written = CConfigDialogComponent::writeSettingsFile(target, CConfigDialogComponent::ucInitConfigData);
            const Bytes expected = w.viaSave ? expectedFile()
                                             : Bytes(CConfigDialogComponent::ucInitConfigData,
                                                     CConfigDialogComponent::ucInitConfigData + kConfigDataSize);
            EXPECT_EQ(written, exists);
            if (exists)
            {
                EXPECT_EQ(contentOf(target), expected);
                EXPECT_EQ(modeOf(target), 0640);
            }
            else
                EXPECT_FALSE(target.exists());
            setMode(locked, 0755);
            EXPECT_EQ(namesIn(locked), exists ? juce::StringArray("bank.ksqx") : juce::StringArray())
                << "nothing left beside it";
        }
}
