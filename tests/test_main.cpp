// Runs the tests on the main thread as the framework's message thread, with
// no display needed: components, timers and painting into images work here.
// Without DISPLAY the framework would connect to any X server on :0 (another
// run's, on a shared machine) and end with it, so a run without one names a
// display that cannot exist; the fade tests start a display of their own.
// A skipped test fails the run: every stage runs these binaries, and a test
// that skips there checks nothing while the run looks green.
#include "KsqxJuce.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>

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
} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* display = std::getenv("DISPLAY"); display == nullptr || *display == '\0')
        ::setenv("DISPLAY", ":headless", 1);
    juce::ScopedJuceInitialiser_GUI juceInit;
    const int result = RUN_ALL_TESTS();
    const int skipped = reportSkipped();
    return result != 0 ? result : skipped;
}
