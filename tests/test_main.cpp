// Runs the tests on the main thread as the framework's message thread, with
// no display needed: components, timers and painting into images work here.
// Without DISPLAY the framework would connect to any X server on :0 (another
// run's, on a shared machine) and end with it, so a run without one names a
// display that cannot exist; the fade tests start a display of their own.
// A skipped test fails the run: every stage runs these binaries, and a test
// that skips there checks nothing while the run looks green.
//
// Stages choose their tests from the lists beside them (StageList.h):
//   --ksqx_tests=LIST[,LIST...]   exactly the tests the lists name
//   --ksqx_except=LIST[,LIST...]  every other test
// A list that names a test this binary lacks, or a pattern that matches a
// test the list does not name, fails the run, and so do fewer tests run than
// chosen. A --gtest_filter beside them narrows the choice (one test of a
// stage run by hand).
#include "KsqxJuce.h"
#include "StageList.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{
int reportSkipped()
{
    const auto& unit = *::testing::UnitTest::GetInstance();
    if (unit.skipped_test_count() == 0)
        return 0;
    for (int s = 0; s < unit.total_test_suite_count(); ++s)
    {
        const auto& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t)
        {
            const auto& info = *suite.GetTestInfo(t);
            if (info.result()->Skipped())
                std::printf("SKIPPED, which fails the run: %s.%s\n", suite.name(), info.name());
        }
    }
    return 1;
}

std::vector<std::string> allTests()
{
    std::vector<std::string> names;
    const auto& unit = *::testing::UnitTest::GetInstance();
    for (int s = 0; s < unit.total_test_suite_count(); ++s)
    {
        const auto& suite = *unit.GetTestSuite(s);
        for (int t = 0; t < suite.total_test_count(); ++t)
            names.push_back(std::string(suite.name()) + "." + suite.GetTestInfo(t)->name());
    }
    return names;
}

bool startsWith(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// The stage's choice from the arguments gtest left: the number of tests
// chosen, -1 when no stage is given, -2 when the arguments are wrong. Each
// problem is added to problems.
int chooseStage(int argc, char** argv, std::vector<std::string>& problems)
{
    std::vector<SStageList> lists;
    int modes = 0;
    bool except = false;
    for (int i = 1; i < argc; ++i)
    {
        const bool tests = startsWith(argv[i], "--ksqx_tests="), others = startsWith(argv[i], "--ksqx_except=");
        if (!tests && !others)
        {
            problems.push_back(std::string("unknown argument: ") + argv[i]);
            continue;
        }
        ++modes;
        except = others;
        std::string paths = std::strchr(argv[i], '=') + 1, path;
        for (size_t start = 0; start <= paths.size(); start += path.size() + 1)
        {
            path = paths.substr(start, paths.find(',', start) - start);
            SStageList list;
            std::string error;
            if (readStageList(path, list, error))
                lists.push_back(list);
            else
                problems.push_back(error);
        }
    }
    if (modes > 1)
        problems.push_back("give one of --ksqx_tests and --ksqx_except, once");
    if (!problems.empty())
        return -2;
    if (modes == 0)
        return -1;
    const auto choice = chooseStageTests(allTests(), lists, except, GTEST_FLAG_GET(filter));
    problems.insert(problems.end(), choice.problems.begin(), choice.problems.end());
    std::string filter;
    for (const auto& name : choice.run)
        filter += (filter.empty() ? "" : ":") + name;
    // An empty filter would mean every test.
    GTEST_FLAG_SET(filter, filter.empty() ? std::string("-*") : filter);
    return (int) choice.run.size();
}
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<std::string> problems;
    const int chosen = chooseStage(argc, argv, problems);
    if (chosen == -2)
    {
        for (const auto& p : problems)
            std::printf("%s\n", p.c_str());
        return 2;
    }
    // A list's problems fail the run after the other tests have run.
    if (const char* display = std::getenv("DISPLAY"); display == nullptr || *display == '\0')
        ::setenv("DISPLAY", ":headless", 1);
    juce::ScopedJuceInitialiser_GUI juceInit;
    const int result = RUN_ALL_TESTS();
    const int skipped = reportSkipped();
    const auto& unit = *::testing::UnitTest::GetInstance();
    if (chosen >= 0 && unit.test_to_run_count() != chosen)
        problems.push_back(std::to_string(unit.test_to_run_count()) + " tests ran, " + std::to_string(chosen)
                           + " were chosen");
    for (const auto& p : problems)
        std::printf("FAILED, stage lists: %s\n", p.c_str());
    return result != 0 ? result : skipped != 0 ? skipped : problems.empty() ? 0 : 1;
}
