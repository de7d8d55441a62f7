#pragma once
#include "KsqxJuce.h"
#include <functional>

// Every modal box and file dialog of the program goes through here, so that
// the tests can answer them without a display. With no handler set, the real
// framework boxes and dialogs are shown.
class CDialogUtil
{
public:
    // A message box with one button.
    static void showMessageBox(juce::MessageBoxIconType icon, const juce::String& title,
                               const juce::String& message, const juce::String& buttonText);
    // An OK/Cancel box; true when the first button was chosen.
    static bool showOkCancelBox(juce::MessageBoxIconType icon, const juce::String& title,
                                const juce::String& message, const juce::String& button1Text,
                                const juce::String& button2Text);
    // The question before quitting ("Quit:" / "Are you sure?", warning icon,
    // "  OK  " and "Cancel"), asked by the window's close button and by every
    // Quit command; true for OK.
    static bool askQuit();

    // File dialogs: return the chosen file, or juce::File() when cancelled.
    static juce::File browseForFileToOpen(const juce::String& title, const juce::File& startIn,
                                          const juce::String& patterns);
    static juce::File browseForFileToSave(const juce::String& title, const juce::File& startIn,
                                          const juce::String& patterns, bool warnAboutOverwriting);

    // What a box looked like, for the test handlers.
    struct Box
    {
        bool okCancel = false;
        juce::MessageBoxIconType icon = juce::MessageBoxIconType::NoIcon;
        juce::String title, message, button1, button2;
    };
    // Returns the answer to an OK/Cancel box (ignored for a message box).
    using BoxHandler = std::function<bool(const Box&)>;
    struct FileRequest
    {
        bool save = false;
        juce::String title;
        juce::File startIn;
        juce::String patterns;
        bool warnAboutOverwriting = false;
    };
    using FileHandler = std::function<juce::File(const FileRequest&)>;

    static void setBoxHandler(BoxHandler handler);
    static void setFileHandler(FileHandler handler);
};
