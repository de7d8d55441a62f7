#include "CNVBPath.h"
// Stub: replaced by the macOS data folder implementation.
juce::String CNVBPath::GetApplicationDataPath(bool, bool, juce::String, juce::String) { return {}; }
void CNVBPath::MakeDirectoryRecursively(const juce::String&) {}
