#include "KSPLLibApp.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

namespace
{
struct SplitCase
{
    const char* line;
    std::vector<const char*> args;
};
} // namespace

TEST(CommandLine, SplitsByBlanksAndQuotes)
{
    const std::vector<SplitCase> cases = {
        {"", {}},
        {"a b  c", {"a", "b", "c"}},
        {"   lead and trail   ", {"lead", "and", "trail"}},
        {"a\"b c\"", {"ab c"}},                 // characters before a quote belong to the argument
        {"\"\"", {""}},                         // a closing quote always ends an argument, even empty
        {"\"\" x", {"", "x"}},
        {"\"a\"b", {"a", "b"}},                 // characters after a closing quote start a new one
        {"\"open to the end", {"open to the end"}},
        {"\"open to the end ", {"open to the end "}},
        {"tab\tinside x", {"tab\tinside", "x"}}, // only the blank separates
        {"-a -b file", {"-a", "-b", "file"}},
        {"\"My Bank.ksqx\"", {"My Bank.ksqx"}},
    };
    for (const auto& c : cases)
    {
        const juce::StringArray got = KSPLLibApp::splitCommandLine(c.line);
        ASSERT_EQ(got.size(), (int) c.args.size()) << "line: [" << c.line << "]";
        for (int i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], juce::String(c.args[(size_t) i])) << "line: [" << c.line << "] arg " << i;
    }
}

TEST(CommandLine, FirstArgumentNotStartingWithDashNamesTheFile)
{
    TempFolder tmp;
    const juce::File bank = tmp.file("bank one.ksqx");
    ASSERT_TRUE(bank.create());
    const juce::File cwd = juce::File::getCurrentWorkingDirectory();
    tmp.get().setAsCurrentWorkingDirectory();

    KSPLLibApp app;
    struct Case
    {
        juce::String line;
        juce::File expected;
    };
    const std::vector<Case> cases = {
        {"", juce::File()},
        {"-a -psn_0_1234", juce::File()},
        {"-x \"" + bank.getFullPathName() + "\" other", bank},
        {"\"bank one.ksqx\"", bank},          // relative to the working directory
        {"\"\" \"bank one.ksqx\"", juce::File()}, // an empty argument comes first and names nothing
        {"bank one.ksqx", tmp.file("bank")},  // unquoted, the blank splits it
    };
    for (const auto& c : cases)
    {
        app.parseCommandLine(c.line);
        EXPECT_EQ(app.m_fileDocument, c.expected) << c.line;
    }
    cwd.setAsCurrentWorkingDirectory();
}

TEST(CommandLine, ApplicationTexts)
{
    KSPLLibApp app;
    EXPECT_EQ(app.getApplicationName(), "Orlan Kestrum QX Sound Librarian");
    EXPECT_EQ(app.getApplicationVersion(), "version 1.0.0");
#if JUCE_LINUX
    // The framework's lock there is one for the whole machine: the program
    // keeps one instance per user itself.
    EXPECT_TRUE(app.moreThanOneInstanceAllowed());
#else
    EXPECT_FALSE(app.moreThanOneInstanceAllowed());
#endif
}

TEST(CommandLine, WindowsProcessLineSplitsAtEveryBlankOutsideQuotes)
{
    struct Case
    {
        const char* processLine;
        const char* programLine; // what the parser receives
        std::vector<const char*> args;
    };
    const std::vector<Case> cases = {
        {"MendrelWin.exe", "", {}},
        {"MendrelWin.exe \t\r\n ", "", {}},
        {"MendrelWin.exe\tZ:\\lib.ksqx", "Z:\\lib.ksqx", {"Z:\\lib.ksqx"}}, // a tab after the program's path
        {"MendrelWin.exe -x\tbank.ksqx", "-x bank.ksqx", {"-x", "bank.ksqx"}},
        {"\"C:\\Program Files\\MendrelWin.exe\"\r\n-a \t b", "-a b", {"-a", "b"}},
        {"p.exe \"tab\tinside.ksqx\"\tnext", "\"tab\tinside.ksqx\" next", {"tab\tinside.ksqx", "next"}},
        {"p.exe a\"b\tc\"\td", "a\"b\tc\" d", {"ab\tc", "d"}}, // a quote opens inside a token
        {"p.exe \"\"\tx", "\"\" x", {"", "x"}},
        {"p.exe \"open\tto the end", "\"open\tto the end", {"open\tto the end"}},
    };
    for (const auto& c : cases)
    {
        const juce::String line = KSPLLibApp::normaliseWindowsCommandLine(c.processLine);
        EXPECT_EQ(line, juce::String(c.programLine)) << "line: [" << c.processLine << "]";
        const juce::StringArray got = KSPLLibApp::splitCommandLine(line);
        ASSERT_EQ(got.size(), (int) c.args.size()) << "line: [" << c.processLine << "]";
        for (int i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], juce::String(c.args[(size_t) i])) << "line: [" << c.processLine << "] arg " << i;
    }
}
