#pragma once
#include "KsqxJuce.h"

// The per-user application-data folder: one implementation for each program
// (mac/CNVBPath_mac.cpp, win/CNVBPath_win.cpp).
class CNVBPath
{
public:
    static juce::String GetApplicationDataPath(bool userDomain, bool create, juce::String folder,
                                               juce::String subfolder);
#if KSQX_TARGET_MAC
    static void MakeDirectoryRecursively(const juce::String& path);
#endif
};
