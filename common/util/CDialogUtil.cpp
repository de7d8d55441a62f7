#include "CDialogUtil.h"

namespace
{
CDialogUtil::BoxHandler& boxHandler()
{
    static CDialogUtil::BoxHandler handler;
    return handler;
}
CDialogUtil::FileHandler& fileHandler()
{
    static CDialogUtil::FileHandler handler;
    return handler;
}
} // namespace

void CDialogUtil::setBoxHandler(BoxHandler handler) { boxHandler() = std::move(handler); }
void CDialogUtil::setFileHandler(FileHandler handler) { fileHandler() = std::move(handler); }

void CDialogUtil::showMessageBox(juce::MessageBoxIconType icon, const juce::String& title,
                                 const juce::String& message, const juce::String& buttonText)
{
    if (auto& h = boxHandler())
    {
        h(Box {false, icon, title, message, buttonText, {}});
        return;
    }
    juce::AlertWindow::showMessageBox(icon, title, message, buttonText);
}

bool CDialogUtil::showOkCancelBox(juce::MessageBoxIconType icon, const juce::String& title,
                                  const juce::String& message, const juce::String& button1Text,
                                  const juce::String& button2Text)
{
    if (auto& h = boxHandler())
        return h(Box {true, icon, title, message, button1Text, button2Text});
    return juce::AlertWindow::showOkCancelBox(icon, title, message, button1Text, button2Text,
                                              nullptr, nullptr);
}

bool CDialogUtil::askQuit()
{
    return showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "Quit:", "Are you sure?", "  OK  ", "Cancel");
}

juce::File CDialogUtil::browseForFileToOpen(const juce::String& title, const juce::File& startIn,
                                            const juce::String& patterns)
{
    if (auto& h = fileHandler())
        return h(FileRequest {false, title, startIn, patterns, false});
    juce::FileChooser chooser(title, startIn, patterns, true);
    if (!chooser.browseForFileToOpen(nullptr))
        return {};
    return chooser.getResult();
}

juce::File CDialogUtil::browseForFileToSave(const juce::String& title, const juce::File& startIn,
                                            const juce::String& patterns, bool warnAboutOverwriting)
{
    if (auto& h = fileHandler())
        return h(FileRequest {true, title, startIn, patterns, warnAboutOverwriting});
    juce::FileChooser chooser(title, startIn, patterns, true);
    if (!chooser.browseForFileToSave(warnAboutOverwriting))
        return {};
    return chooser.getResult();
}
