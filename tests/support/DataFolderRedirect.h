#pragma once
#include "KsqxJuce.h"
#include <memory>

// Points the program's per-user data folder (CNVBPath) below a folder of the
// test's own, and puts the earlier redirection back when it ends. A redirection
// to a temporary folder is in force for the whole test run, so no test makes
// folders in the real user's data folder.
class ScopedDataFolder
{
public:
    explicit ScopedDataFolder(const juce::File& base);
    ~ScopedDataFolder();

    // The folder GetApplicationDataPath(true, ..., "", "KestrumQX") names.
    juce::File dataFolder() const;
    // The settings file in it.
    juce::File settingsFile() const { return dataFolder().getChildFile("setting.ksqc"); }

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
    juce::File m_base;
};
