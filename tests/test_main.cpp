// Runs the tests on the main thread as the framework's message thread, with
// no display needed: components, timers and painting into images work here.
#include "KsqxJuce.h"
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    juce::ScopedJuceInitialiser_GUI juceInit;
    const int result = RUN_ALL_TESTS();
    return result;
}
