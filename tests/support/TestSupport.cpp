#include "TestSupport.h"
#include <unistd.h>

TempFolder::TempFolder()
{
    juce::File base = juce::File::getSpecialLocation(juce::File::tempDirectory);
    if (auto* env = std::getenv("KSQX_TEST_TMP"))
        base = juce::File(juce::String(env));
    base.createDirectory();
    // Named after the process and a random number: test processes running at
    // the same time must never pick the same folder.
    do
        m_folder = base.getChildFile("ksqx_test_" + juce::String((int) getpid())
                                     + "_" + juce::String::toHexString(juce::Random::getSystemRandom().nextInt64()));
    while (m_folder.exists());
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

bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

CDialogUtil::Box okCancelBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                             const juce::String& button1, const juce::String& button2)
{
    CDialogUtil::Box box;
    box.okCancel = true;
    box.icon = icon;
    box.title = title;
    box.message = message;
    box.button1 = button1;
    box.button2 = button2;
    return box;
}

CDialogUtil::Box messageBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                            const juce::String& button)
{
    CDialogUtil::Box box = okCancelBox(icon, title, message, button, {});
    box.okCancel = false;
    return box;
}

bool operator==(const CDialogUtil::Box& a, const CDialogUtil::Box& b)
{
    return a.okCancel == b.okCancel && a.icon == b.icon && a.title == b.title && a.message == b.message
           && a.button1 == b.button1 && a.button2 == b.button2;
}

std::ostream& operator<<(std::ostream& out, const CDialogUtil::Box& box)
{
    return out << (box.okCancel ? "ok/cancel" : "message") << " icon " << (int) box.icon << " [" << box.title
               << "] [" << box.message.replace("\n", "\\n").replace("\r", "\\r") << "] [" << box.button1 << "] ["
               << box.button2 << "]";
}
