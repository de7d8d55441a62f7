// The program entry of both programs.
#include "KSPLLibApp.h"

static juce::JUCEApplicationBase* createKSPLLibApp() { return new KSPLLibApp(); }

#if defined(_WIN32)
int __stdcall WinMain(void*, void*, const char*, int)
{
    juce::JUCEApplicationBase::createInstance = &createKSPLLibApp;
    return juce::JUCEApplicationBase::main();
}
#else
int main(int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createKSPLLibApp;
    return juce::JUCEApplicationBase::main(argc, (const char**) argv);
}
#endif
