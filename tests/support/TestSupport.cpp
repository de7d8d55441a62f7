#include "TestSupport.h"

TempFolder::TempFolder()
{
    juce::File base = juce::File::getSpecialLocation(juce::File::tempDirectory);
    if (auto* env = std::getenv("KSQX_TEST_TMP"))
        base = juce::File(juce::String(env));
    base.createDirectory();
    m_folder = base.getNonexistentChildFile("ksqx_test", "", false);
    m_folder.createDirectory();
}

TempFolder::~TempFolder()
{
    // Give back write permission that a test took away, then remove.
    m_folder.setReadOnly(false, true);
    m_folder.deleteRecursively();
}

BoxRecorder::BoxRecorder()
{
    CDialogUtil::setBoxHandler([this](const CDialogUtil::Box& box) {
        boxes.push_back(box);
        if (!box.okCancel || answers.empty())
            return true;
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
}

BoxRecorder::~BoxRecorder() { CDialogUtil::setBoxHandler(nullptr); }

void pumpMessages(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
    }
    return true;
}
