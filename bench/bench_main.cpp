// One framework initialiser for the whole run, with the program's look as
// the default, both ended after the last benchmark and before the process's
// own static destructors: the framework's singletons must not outlive it.
// A benchmark that reports an error fails the run.
#include "CLookAndFeel.h"
#include <benchmark/benchmark.h>
#include <unistd.h>

namespace
{
class ErrorCountingReporter : public benchmark::ConsoleReporter
{
public:
    using benchmark::ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.error_occurred)
                ++errors;
        benchmark::ConsoleReporter::ReportRuns(runs);
    }

    int errors = 0;
};
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    ErrorCountingReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                         : benchmark::ConsoleReporter::OO_None);
    {
        juce::ScopedJuceInitialiser_GUI juceInit;
        CLookAndFeel look;
        juce::LookAndFeel::setDefaultLookAndFeel(&look);
        benchmark::RunSpecifiedBenchmarks(&reporter);
        juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
    }
    benchmark::Shutdown();
    return reporter.errors == 0 ? 0 : 1;
}
