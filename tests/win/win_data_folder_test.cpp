#include "CNVBPath.h"
#include "DataFolderRedirect.h"
#include "TestSupport.h"
#include "WinShellLayer.h"
#include <cstdlib>
#include <gtest/gtest.h>

#if !defined(_WIN32)
namespace
{
struct ShellCall
{
    int csidl;
    bool create;
};

// Answers the shell's folders from a temporary folder and records the shell
// calls and every _wmkdir.
class WinDataFolder : public ::testing::Test
{
protected:
    WinDataFolder() : redirect(temp.get())
    {
        WinShellLayer::testHooks().folderFor = [this](int csidl, bool create) {
            shell.push_back({csidl, create});
            if (shellFails)
                return juce::File();
            return csidl == CSIDL_APPDATA ? userFolder() : commonFolder();
        };
        WinShellLayer::testHooks().mkdirObserver = [this](const juce::String& p, int r) {
            mkdirs.add(p);
            results.push_back(r);
        };
    }

    juce::File userFolder() const { return temp.file("Users/u/AppData/Roaming"); }
    juce::File commonFolder() const { return temp.file("ProgramData"); }

    TempFolder temp;
    ScopedDataFolder redirect;
    bool shellFails = false;
    std::vector<ShellCall> shell;
    juce::StringArray mkdirs;
    std::vector<int> results;
};
} // namespace

TEST(WinShellLayer, FolderIdsAreTheShells)
{
    EXPECT_EQ(CSIDL_APPDATA, 0x1A);
    EXPECT_EQ(CSIDL_COMMON_APPDATA, 0x23);
    EXPECT_EQ(MAX_PATH, 260);
    EXPECT_EQ(TRUE, 1);
}

TEST_F(WinDataFolder, AppendsTheNamesAndMakesEachOnceFromTheTopDown)
{
    struct Case
    {
        bool userDomain, create;
        const char* folder;
        const char* subfolder;
        const char* suffix;                 // after the shell's folder
        std::vector<const char*> mkdirs;    // suffixes, in order
    };
    const Case cases[] = {
        {true, true, "", "KestrumQX", "/KestrumQX", {"/KestrumQX"}},
        {true, true, "A", "B", "/A/B", {"/A", "/A/B"}},
        {false, true, "", "KestrumQX", "/KestrumQX", {"/KestrumQX"}},
        {true, false, "", "KestrumQX", "/KestrumQX", {}},
        {true, true, "", "", "", {}},
        {true, true, "A", "", "/A", {"/A"}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(juce::String(c.folder) + "|" + c.subfolder + "|" + (c.userDomain ? "user" : "all")
                     + (c.create ? "|create" : ""));
        shell.clear();
        mkdirs.clear();
        userFolder().createDirectory(); // without creation the shell needs the folder to be there
        const juce::String base = (c.userDomain ? userFolder() : commonFolder()).getFullPathName();

        EXPECT_EQ(CNVBPath::GetApplicationDataPath(c.userDomain, c.create, c.folder, c.subfolder), base + c.suffix);
        ASSERT_EQ(shell.size(), 1u);
        EXPECT_EQ(shell[0].csidl, c.userDomain ? CSIDL_APPDATA : CSIDL_COMMON_APPDATA);
        EXPECT_EQ(shell[0].create, c.create);
        juce::StringArray expected;
        for (const char* m : c.mkdirs)
            expected.add(base + m);
        EXPECT_EQ(mkdirs, expected);
        if (c.create)
            EXPECT_TRUE(juce::File(base + c.suffix).isDirectory());
    }
}

TEST_F(WinDataFolder, ShellMakesItsFolderAndExistingFoldersAreTriedAgain)
{
    ASSERT_FALSE(userFolder().exists());
    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");
    EXPECT_EQ(path, userFolder().getFullPathName() + "/KestrumQX");
    EXPECT_TRUE(juce::File(path).isDirectory());
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], 0);

    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX"), path);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1], -1); // exists: fails silently
}

TEST_F(WinDataFolder, NoFolderFromTheShellGivesAnEmptyPath)
{
    shellFails = true;
    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, true, "A", "KestrumQX"), juce::String());
    EXPECT_TRUE(mkdirs.isEmpty());

    // Without creation a missing folder is no folder either.
    shellFails = false;
    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, false, "", "KestrumQX"), juce::String());
    EXPECT_FALSE(userFolder().exists());
}

TEST_F(WinDataFolder, FolderPathTooLongForTheShellsBufferIsNoFolder)
{
    juce::String deep;
    while (temp.get().getFullPathName().length() + deep.length() < MAX_PATH + 10)
        deep << "/0123456789";
    const juce::File longFolder(temp.get().getFullPathName() + deep);
    ASSERT_TRUE(longFolder.createDirectory());
    WinShellLayer::testHooks().folderFor = [longFolder](int, bool) { return longFolder; };
    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX"), juce::String());
    EXPECT_TRUE(mkdirs.isEmpty());
}

TEST_F(WinDataFolder, SystemFolderIsXdgConfigHome)
{
    WinShellLayer::testHooks().folderFor = nullptr; // ask the system
    const juce::File config = temp.file("config-home");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", config.getFullPathName().toRawUTF8(), 1);

    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");

    if (old != nullptr)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(path, config.getFullPathName() + "/KestrumQX");
    EXPECT_TRUE(juce::File(path).isDirectory());
    EXPECT_EQ(mkdirs, juce::StringArray(path));
}
#endif
