#include "CNVBPath.h"
#include "DataFolderRedirect.h"
#include "MacUserLayer.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace
{
struct MkdirCall
{
    std::string path;
    mode_t mode;
    int result;
};

// Moves the file system root into a temporary folder, answers the user name
// and records every mkdir.
class MacDataFolder : public ::testing::Test
{
protected:
    MacDataFolder() : redirect(temp.get())
    {
        MacLayer::testHooks().userName = [this] { return userName; };
        MacLayer::testHooks().mkdirObserver = [this](const std::string& p, mode_t m, int r) {
            calls.push_back({p, m, r});
        };
    }

    juce::String root() const { return temp.get().getFullPathName(); }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            out.push_back(c.path);
        return out;
    }

    TempFolder temp;
    ScopedDataFolder redirect;
    const char* userName = "user1";
    std::vector<MkdirCall> calls;
};
} // namespace

TEST_F(MacDataFolder, BuildsThePathFromFixedPieces)
{
    struct Case
    {
        bool userDomain;
        const char* folder;
        const char* subfolder;
        const char* expected;
    };
    const Case cases[] = {
        {true, "", "KestrumQX", "/Users/user1/Library/Application Support/KestrumQX"},
        {true, "A", "B", "/Users/user1/Library/Application Support/A/B"},
        {true, "A", "", "/Users/user1/Library/Application Support/A"},
        {true, "", "", "/Users/user1/Library/Application Support"},
        {false, "", "KestrumQX", "/Library/Application Support/KestrumQX"},
        {false, "A", "B", "/Library/Application Support/A/B"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(CNVBPath::GetApplicationDataPath(c.userDomain, false, c.folder, c.subfolder), root() + c.expected);
    }
    EXPECT_TRUE(calls.empty()) << "no folder is made without the creation flag";
}

TEST_F(MacDataFolder, CreatesEveryLevelTopDownWithMode0755AndRetriesSilently)
{
    const std::vector<std::string> expected = {
        "/Users", "/Users/user1", "/Users/user1/Library", "/Users/user1/Library/Application Support",
        "/Users/user1/Library/Application Support/KestrumQX"};

    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");
    EXPECT_EQ(path, root() + expected.back().c_str());
    EXPECT_EQ(paths(), expected);
    for (const auto& c : calls)
    {
        EXPECT_EQ(c.mode, (mode_t) 0755);
        EXPECT_EQ(c.result, 0) << c.path;
    }
    EXPECT_TRUE(juce::File(path).isDirectory());

    // All there already: the same calls, each failing without a word.
    calls.clear();
    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX"), path);
    EXPECT_EQ(paths(), expected);
    for (const auto& c : calls)
        EXPECT_EQ(c.result, -1) << c.path;
}

TEST_F(MacDataFolder, SharedFolderStartsAtTheRoot)
{
    const juce::String path = CNVBPath::GetApplicationDataPath(false, true, "", "KestrumQX");
    EXPECT_EQ(path, root() + "/Library/Application Support/KestrumQX");
    EXPECT_EQ(paths(), (std::vector<std::string> {"/Library", "/Library/Application Support",
                                                  "/Library/Application Support/KestrumQX"}));
    EXPECT_TRUE(juce::File(path).isDirectory());
}

TEST_F(MacDataFolder, MakeDirectoryRecursivelyCallsPerSeparator)
{
    struct Case
    {
        const char* path;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"/a/b/", {"/a", "/a/b", "/a/b/"}}, // the last folder is asked for twice
        {"/a", {"/a"}},
        {"", {}},
        {"rel/x", {"rel", "rel/x"}}, // relative: below the (moved) root here
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.path);
        calls.clear();
        CNVBPath::MakeDirectoryRecursively(c.path);
        EXPECT_EQ(paths(), c.calls);
    }
    EXPECT_TRUE(temp.file("a/b").isDirectory());
    EXPECT_TRUE(temp.file("rel/x").isDirectory());
}

TEST_F(MacDataFolder, NoUserNameLeavesTheDoubledSeparator)
{
    userName = nullptr;
    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");
    EXPECT_EQ(path, root() + "/Users//Library/Application Support/KestrumQX");
    EXPECT_EQ(paths(), (std::vector<std::string> {"/Users", "/Users/", "/Users//Library",
                                                  "/Users//Library/Application Support",
                                                  "/Users//Library/Application Support/KestrumQX"}));
    // The system reads the doubled separator as one.
    EXPECT_TRUE(temp.file("Users/Library/Application Support/KestrumQX").isDirectory());
}

TEST_F(MacDataFolder, UserNameOutsideAsciiIsUtf8)
{
    userName = "j\xc3\xb6rg";
    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");
    EXPECT_EQ(path, root() + juce::String::fromUTF8("/Users/j\xc3\xb6rg/Library/Application Support/KestrumQX"));
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].path, "/Users/j\xc3\xb6rg");
    EXPECT_TRUE(juce::File(path).isDirectory());
}

TEST_F(MacDataFolder, FileInTheWayFailsSilentlyAndThePathIsStillGiven)
{
    ASSERT_TRUE(temp.file("Users/user1").createDirectory());
    ASSERT_TRUE(temp.file("Users/user1/Library").replaceWithText("a file, not a folder"));
    const juce::String path = CNVBPath::GetApplicationDataPath(true, true, "", "KestrumQX");
    EXPECT_EQ(path, root() + "/Users/user1/Library/Application Support/KestrumQX");
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[2].result, -1);
    EXPECT_EQ(calls[3].result, -1);
    EXPECT_EQ(calls[4].result, -1);
    EXPECT_FALSE(juce::File(path).exists());
}

TEST_F(MacDataFolder, SystemUserNameIsTheLoginName)
{
    MacLayer::testHooks().userName = nullptr; // ask the system
    const passwd* pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(CNVBPath::GetApplicationDataPath(true, false, "", "KestrumQX"),
              root() + "/Users/" + juce::String::fromUTF8(pw->pw_name) + "/Library/Application Support/KestrumQX");

    CFStringRef name = CSCopyUserName(true);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(MacLayer::stringFromCFString(name), juce::String::fromUTF8(pw->pw_name));
    CFRelease(name);
}
