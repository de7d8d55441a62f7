#include "CNVBPath.h"
// Stub: replaced by the Windows data folder implementation.
juce::String CNVBPath::GetApplicationDataPath(bool, bool, juce::String, juce::String) { return {}; }
