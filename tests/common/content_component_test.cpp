#include "ActionManager.h"
#include "CConfigDialogComponent.h"
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include "DataFolderRedirect.h"
#include "EmulatedUnit.h"
#include "KSPLLibComponent.h"
#include "ProgTestSupport.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <unistd.h>
#if KSQX_TARGET_WIN && !defined(_WIN32)
 #include "WinShellLayer.h"
#endif

namespace
{
// Builds the whole program's content in a data folder of the test's own,
// answering the version box, and keeps the working directory as it was.
class ContentFixture : public ::testing::Test
{
protected:
    void SetUp() override { m_cwd = juce::File::getCurrentWorkingDirectory(); }
    void TearDown() override
    {
        m_content.reset();
        KSPLLibComponent::setMidiSetupHook(nullptr);
        m_unit.reset();
        m_cwd.setAsCurrentWorkingDirectory();
    }
    KSPLLibComponent& build()
    {
        m_content = std::make_unique<KSPLLibComponent>();
        return *m_content;
    }
    void withUnit()
    {
        KSPLLibComponent::setMidiSetupHook(
            [this](CMidiSetupComponent* link) { m_unit = std::make_unique<EmulatedUnit>(*link); });
    }

    TempFolder tmp;
    ScopedDataFolder data {tmp.get()};
    BoxRecorder boxes;
    std::unique_ptr<EmulatedUnit> m_unit;
    std::unique_ptr<KSPLLibComponent> m_content;
    juce::File m_cwd;
};

bool writeLibraryFile(const juce::File& f, int seed)
{
    const auto block = progBlock(seed);
    return f.replaceWithData(block.data(), block.size());
}

juce::MemoryBlock bytesOf(const juce::File& f)
{
    juce::MemoryBlock m;
    f.loadFileAsData(m);
    return m;
}
} // namespace

TEST_F(ContentFixture, ShowsTheVersionBoxAndEndsWithTheTableFilledAndThePanelsWiredAndHiddenAboveIt)
{
    auto& c = build();
    ASSERT_FALSE(boxes.boxes.empty());
    const auto& version = boxes.boxes.front();
    EXPECT_FALSE(version.okCancel);
    EXPECT_EQ(version.icon, juce::MessageBoxIconType::NoIcon);
    EXPECT_EQ(version.title, "Orlan Kestrum QX Sound Librarian");
    EXPECT_EQ(version.message, "version 1.0.0");
    EXPECT_EQ(version.button1, "  OK  ");
    EXPECT_EQ(boxes.boxes.size(), 1u);

    // Children from bottom to top: table, about, settings, MIDI setup, progress.
    ASSERT_EQ(c.getNumChildComponents(), 5);
    EXPECT_EQ(c.getChildComponent(0), c.getProgNameTable());
    EXPECT_EQ(c.getChildComponent(1), (juce::Component*) c.getAboutDialogComponent());
    EXPECT_EQ(c.getChildComponent(2), (juce::Component*) c.getConfigDialogComponent());
    EXPECT_EQ(c.getChildComponent(3), (juce::Component*) c.getMidiSetupComponent());
    EXPECT_EQ(c.getChildComponent(4), (juce::Component*) c.getProgressDialogComponent());
    for (int i = 1; i < 5; ++i)
        EXPECT_FALSE(c.getChildComponent(i)->isVisible());
    EXPECT_EQ(c.getProgNameTable()->getName(), "UserProgTable");
    EXPECT_EQ(c.getProgNameTable()->getNumRows(), 100);
    EXPECT_EQ(c.getMidiSetupComponent()->m_pActionManager, c.getActionManager());
    EXPECT_EQ(c.getProgNameTable()->m_pMidiSetupComponent, c.getMidiSetupComponent());
    EXPECT_EQ(c.getNextCommandTarget(), c.getActionManager());

    // The stored window size (the default block's 1062 x 748), the table filling it.
    EXPECT_EQ(c.getWidth(), 1062);
    EXPECT_EQ(c.getHeight(), 748);
    EXPECT_EQ(c.getProgNameTable()->getBounds(), c.getLocalBounds());
}

TEST_F(ContentFixture, FirstStartCreatesTheSettingsFileAndMovesTheWorkingDirectory)
{
    ASSERT_FALSE(data.settingsFile().exists());
    build();
    const juce::MemoryBlock written = bytesOf(data.settingsFile());
    ASSERT_EQ(written.getSize(), 66u);
    EXPECT_EQ(0, memcmp(written.getData(), defaultSettingsBlock().data(), 66));
    EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), data.dataFolder());
}

TEST_F(ContentFixture, SettingsFileOfAnotherLengthGivesDefaultsAndIsRewrittenAtShutDown)
{
    for (const int length : {0, 65, 67})
    {
        data.dataFolder().createDirectory();
        juce::MemoryBlock junk((size_t) length, false);
        for (int i = 0; i < length; ++i)
            static_cast<unsigned char*>(junk.getData())[i] = (unsigned char) (i < 4 ? "KSQC"[i] : 30);
        data.settingsFile().deleteFile();
        ASSERT_TRUE(data.settingsFile().create()); // replaceWithData of nothing would delete it
        ASSERT_TRUE(data.settingsFile().appendData(junk.getData(), junk.getSize()));
        const juce::File cwdBefore = juce::File::getCurrentWorkingDirectory();

        auto& c = build();
        EXPECT_DOUBLE_EQ(c.getConfigDialogComponent()->getTargetFontSize(), 12.6) << length;
        EXPECT_EQ(bytesOf(data.settingsFile()).getSize(), (size_t) length) << "left alone at start-up";
        EXPECT_EQ(juce::File::getCurrentWorkingDirectory(), cwdBefore) << "only creating the file moves it";
        m_content.reset();
        const auto after = bytesOf(data.settingsFile());
        ASSERT_EQ(after.getSize(), 66u) << length;
        EXPECT_EQ(0, memcmp(after.getData(), "KSQC", 4));
    }
}

TEST_F(ContentFixture, StoredSettingsComeBack)
{
    unsigned char block[66];
    memcpy(block, defaultSettingsBlock().data(), 66);
    block[4] = 20; // font size 20.4
    block[5] = 4;
    block[6] = 90; // window 900 x 650
    block[7] = 0;
    block[8] = 65;
    block[9] = 0;
    block[40 + 7] = 150; // GAIN column width
    data.dataFolder().createDirectory();
    ASSERT_TRUE(data.settingsFile().replaceWithData(block, 66));

    auto& c = build();
    EXPECT_DOUBLE_EQ(c.getConfigDialogComponent()->getTargetFontSize(), 20.4);
    EXPECT_EQ(c.getWidth(), 900);
    EXPECT_EQ(c.getHeight(), 650);
    EXPECT_EQ(c.getProgNameTable()->getHeader().getColumnWidth(8), 150);
}

// The settings file as a user may have set it up: a folder on the way to the
// data folder is a link, and setting.ksqc a link that climbs out past it with
// "..". Start-up creates, shut-down rewrites and the next start reads the
// file the system opens for that name; the file that the name shortened as
// text would give (a namesake holding other settings) is never touched.
TEST_F(ContentFixture, SettingsFileThroughLinkedFoldersIsTheOneReadAndWritten)
{
    struct Case
    {
        const char* what;
        // The folder to make a link; sets up whatever makes the program's
        // data folder lie below it.
        std::function<juce::File()> linkedFolder;
    };
    std::vector<Case> cases = {
        {"the folder holding the data folder a link",
         [&] { return data.dataFolder().getParentDirectory(); }},
    };
#if KSQX_TARGET_WIN && !defined(_WIN32)
    // The system's own lookup of the configuration folder, not the tests'.
    const auto savedLookup = WinShellLayer::testHooks().folderFor;
    std::unique_ptr<ScopedEnv> configHome;
    cases.push_back({"XDG_CONFIG_HOME a link", [&] {
                         WinShellLayer::testHooks().folderFor = nullptr;
                         const juce::File home = tmp.file("config-home");
                         configHome = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", home.getFullPathName().toRawUTF8());
                         return home;
                     }});
#endif
    unsigned char other[66];
    memcpy(other, defaultSettingsBlock().data(), 66);
    other[4] = 20; // font size 20.4
    other[5] = 4;
    int n = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        const juce::File store = tmp.file("store" + juce::String(n++));
        ASSERT_TRUE(store.getChildFile("conf/KestrumQX").createDirectory());
        ASSERT_TRUE(store.getChildFile("shared").createDirectory());
        const juce::File linked = c.linkedFolder();
        linked.getParentDirectory().createDirectory();
        ASSERT_EQ(::symlink(store.getChildFile("conf").getFullPathName().toRawUTF8(),
                            linked.getFullPathName().toRawUTF8()), 0);
        const juce::File settings = CConfigDialogComponent::getSettingsFile();
        ASSERT_EQ(settings, linked.getChildFile("KestrumQX/setting.ksqc"));
        ASSERT_EQ(::symlink("../../shared/setting.ksqc", settings.getFullPathName().toRawUTF8()), 0);
        const juce::File real = store.getChildFile("shared/setting.ksqc");
        const juce::File namesake = linked.getParentDirectory().getChildFile("shared/setting.ksqc");
        ASSERT_TRUE(namesake.getParentDirectory().createDirectory());
        ASSERT_TRUE(namesake.replaceWithData(other, 66));
        const FileTree before = fileTreeOf(tmp.get());
        const std::string realKey = realPathOf(real.getParentDirectory()).substr(realPathOf(tmp.get()).size())
                                    + "/setting.ksqc";
        const auto expectOnly = [&](const unsigned char* block, const char* when) {
            SCOPED_TRACE(when);
            FileTree expected = before;
            const mode_t mask = ::umask(0);
            ::umask(mask);
            expected[realKey] = fileEntry(std::vector<unsigned char>(block, block + 66), (int) (0666 & ~mask));
            expectSameTree(expected, fileTreeOf(tmp.get()));
            EXPECT_EQ(realPathOf(settings), realPathOf(real)) << "the system opens this file for the name";
        };

        // First start: the name leads to no file yet, so the defaults are written there.
        auto& first = build();
        EXPECT_DOUBLE_EQ(first.getConfigDialogComponent()->getTargetFontSize(), 12.6);
        expectOnly(defaultSettingsBlock().data(), "created at start-up");

        // Shut-down stores the window's size in the same file.
        first.setSize(898, 624);
        m_content.reset();
        unsigned char stored[66];
        memcpy(stored, defaultSettingsBlock().data(), 66);
        stored[6] = 90, stored[7] = 0, stored[8] = 65, stored[9] = 0; // 900 x 650
        expectOnly(stored, "rewritten at shut-down");

        auto& second = build();
        EXPECT_EQ(second.getWidth(), 900);
        EXPECT_EQ(second.getHeight(), 650);
        EXPECT_DOUBLE_EQ(second.getConfigDialogComponent()->getTargetFontSize(), 12.6) << "not the namesake's";
        second.setSize(898, 624);
        m_content.reset();
        expectOnly(stored, "the next start and shut-down");
    }
#if KSQX_TARGET_WIN && !defined(_WIN32)
    WinShellLayer::testHooks().folderFor = savedLookup;
#endif
}

TEST_F(ContentFixture, IdentityReplyDuringTheStartUpPausesIsTaken)
{
    withUnit();
    auto& c = build();
    // The unit answered on its own thread while start-up paused; the pauses
    // dispatched messages, so the reply's handler could run.
    EXPECT_TRUE(c.getMidiSetupComponent()->m_bConnected);
    ASSERT_NE(m_unit, nullptr);
    const auto sent = m_unit->received();
    ASSERT_GE(sent.size(), 2u);
    const EmulatedUnit::Bytes request {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    EXPECT_EQ(sent[0], request);
    EXPECT_EQ(sent[1], request);
}

// Start-up opens the ports while the unit already floods its input, so the
// flood reaches the handler from the moment the input is open, while the
// message thread still opens the output: it neither hangs nor leaves the
// input deaf, so the identity reply is heard.
TEST_F(ContentFixture, StartUpUnderAFloodOpensThePortsAndFindsTheUnit)
{
    KSPLLibComponent::setMidiSetupHook([this](CMidiSetupComponent* link) {
        m_unit = std::make_unique<EmulatedUnit>(*link);
        m_unit->startFlood({{0x90, 0x40, 0x7F}, {0x80, 0x40, 0x00}});
    });
    {
        Watchdog watchdog("start-up");
        build();
    }
    EXPECT_TRUE(pumpUntil([this] { return m_content->getMidiSetupComponent()->m_bConnected; }, 10000));
    // Long enough for an input thread that was asked to end to be gone.
    EXPECT_TRUE(holdsFor([this] { return !m_unit->inputDeaf(); }, 2 * EmulatedUnit::kInputThreadExitMs));
    m_unit->stopFlood();
}

TEST_F(ContentFixture, NoUnitLeavesTheFlagClear)
{
    auto& c = build();
    EXPECT_FALSE(c.getMidiSetupComponent()->m_bConnected);
}

TEST_F(ContentFixture, DropAcceptsAnyCaseButOpensOnlyExactExtensionLastFirst)
{
    auto& c = build();
    struct Case
    {
        juce::StringArray paths;
        bool interested;
    };
    const std::vector<Case> cases = {
        {{"/x/a.txt", "/x/b.doc"}, false},
        {{}, false},
        {{"/x/a.ksqx"}, true},
        {{"/x/a.txt", "/x/B.KSQX"}, true},
        {{"/x/a.KsQx", "/x/b.txt"}, true},
        {{"/x/ksqx"}, false},
    };
    for (const auto& k : cases)
        EXPECT_EQ(c.isInterestedInFileDrag(k.paths), k.interested) << k.paths.joinIntoString(",");

    const juce::File a = tmp.file("A.ksqx"), b = tmp.file("B.ksqx"), upper = tmp.file("C.KSQX");
    for (const auto& f : {a, b, upper})
        ASSERT_TRUE(writeLibraryFile(f, 1));
    c.filesDropped({a.getFullPathName(), upper.getFullPathName(), b.getFullPathName()}, 10, 10);
    auto* table = c.getProgNameTable();
    ASSERT_EQ(table->getNumRows(), 300);
    EXPECT_EQ(table->getRecord(100)->getFileName(), "B");
    EXPECT_EQ(table->getRecord(200)->getFileName(), "A");
    EXPECT_EQ(table->getLastRowSelected(), 200);
    EXPECT_EQ(table->getNumSelectedRows(), 1);
    EXPECT_EQ(boxes.boxes.size(), 1u) << "the upper-case file is ignored without a box";
}

TEST_F(ContentFixture, AFolderNamedLikeALibraryFileIsNoLibraryFile)
{
    auto& c = build();
    const juce::File folder = tmp.file("Dir.ksqx");
    ASSERT_TRUE(folder.createDirectory().wasOk());
    const juce::File a = tmp.file("A.ksqx");
    ASSERT_TRUE(writeLibraryFile(a, 1));
    EXPECT_FALSE(c.isInterestedInFileDrag({folder.getFullPathName()}));
    EXPECT_TRUE(c.isInterestedInFileDrag({folder.getFullPathName(), a.getFullPathName()}));

    const size_t boxesBefore = boxes.boxes.size();
    c.filesDropped({a.getFullPathName(), folder.getFullPathName()}, 10, 10);
    auto* table = c.getProgNameTable();
    ASSERT_EQ(table->getNumRows(), 200);
    EXPECT_EQ(table->getRecord(100)->getFileName(), "A");
    EXPECT_EQ(boxes.boxes.size(), boxesBefore) << "the folder is passed over without a box";
}

TEST_F(ContentFixture, UpAndDownGoToTheTableOtherKeysAreNotTaken)
{
    auto& c = build();
    auto* table = c.getProgNameTable();
    table->selectRow(5);
    EXPECT_TRUE(c.keyPressed(juce::KeyPress(juce::KeyPress::downKey)));
    EXPECT_EQ(table->getLastRowSelected(), 6);
    EXPECT_TRUE(c.keyPressed(juce::KeyPress(juce::KeyPress::upKey)));
    EXPECT_EQ(table->getLastRowSelected(), 5);
    EXPECT_FALSE(c.keyPressed(juce::KeyPress(juce::KeyPress::pageDownKey)));
    EXPECT_FALSE(c.keyPressed(juce::KeyPress('a')));
    EXPECT_EQ(table->getLastRowSelected(), 5);
}
