// The program entry of both programs.
#include "KSPLLibApp.h"
#if defined(_WIN32)
 #include "WinMidiExit.h"
#endif

static juce::JUCEApplicationBase* createKSPLLibApp() { return new KSPLLibApp(); }

#if defined(_WIN32)
int __stdcall WinMain(void*, void*, const char*, int)
{
    juce::JUCEApplicationBase::createInstance = &createKSPLLibApp;
    const int exitCode = juce::JUCEApplicationBase::main();
    // Everything is closed and written by now (MIDI devices, settings).
    WinMidiExit::endDriverThreads();
    return exitCode;
}
#else
int main(int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createKSPLLibApp;
    return juce::JUCEApplicationBase::main(argc, (const char**) argv);
}
#endif
