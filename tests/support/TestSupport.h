#pragma once
#include "KsqxJuce.h"
#include "CDialogUtil.h"
#include <ostream>
#include <vector>

// A temporary folder of the test's own, removed at the end of the test.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    const juce::File& get() const { return m_folder; }
    juce::File file(const juce::String& name) const { return m_folder.getChildFile(name); }

private:
    juce::File m_folder;
};

// Records every box the program shows and answers OK/Cancel boxes from a
// queue of answers (true = first button); an empty queue answers true.
class BoxRecorder
{
public:
    BoxRecorder();
    ~BoxRecorder();
    std::vector<CDialogUtil::Box> boxes;
    std::vector<bool> answers;
};

// Runs the message loop for the given time, so timers and async calls fire.
void pumpMessages(int milliseconds);

// Runs the message loop until the condition holds or the time is up; returns
// the condition's last value.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds);

// Boxes as the tests expect them: compare a recorded box with one of these.
CDialogUtil::Box okCancelBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                             const juce::String& button1, const juce::String& button2);
CDialogUtil::Box messageBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                            const juce::String& button);
bool operator==(const CDialogUtil::Box& a, const CDialogUtil::Box& b);
std::ostream& operator<<(std::ostream& out, const CDialogUtil::Box& box);
