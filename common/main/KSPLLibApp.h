#pragma once
#include "KsqxJuce.h"
#include "CInstanceLink.h"
#include "CLookAndFeel.h"
#include "KsqxTexts.h"

#if KSQX_TARGET_MAC
#include "MacEventLayer.h"
#endif

class KSPLLibAppWindow;

// The application object: start-up, single instance, command line, shut-down.
class KSPLLibApp : public juce::JUCEApplication
{
public:
    KSPLLibApp();
    ~KSPLLibApp() override;

    void initialise(const juce::String& commandLine) override;
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted(const juce::String& commandLine) override;

    void parseCommandLine(const juce::String& commandLine);
    // Relative names in the command line are taken from the given folder.
    void parseCommandLine(const juce::String& commandLine, const juce::File& startFolder);

    // A second launch's command line, started in the given folder: opens the
    // library file it names and brings the window to the front.
    void openFromSecondLaunch(const juce::File& startFolder, const juce::String& commandLine);
    // Starts taking second launches' command lines (done at the end of
    // start-up); true when it does.
    bool listenForSecondLaunches();
    bool onMacOpenDocument(const juce::File& file);

    // The arguments of a command line, split by the program's own rules.
    static juce::StringArray splitCommandLine(const juce::String& commandLine);

    // The Windows program's command line from the process's whole one: split
    // at blanks, tabs and line breaks outside double quotes (the quotes stay),
    // the program's own path dropped, the rest joined by single blanks.
    static juce::String normaliseWindowsCommandLine(const juce::String& processCommandLine);

#if KSQX_TARGET_MAC
    // The Quit command's confirmation and the open-document and quit events.
    void installMacEventHandlers();
    static OSStatus handleMacCarbonEvent(EventHandlerCallRef callRef, EventRef event, void* userData);
    static OSErr onMacAeOpenDocument(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);
    static OSErr onMacAeQuit(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);
#endif

    KSPLLibAppWindow* m_pMainWindow;
    juce::File m_fileDocument;
#if KSQX_TARGET_MAC
    EventHandlerRef m_hEventHandler;
#endif

private:
    // The command line as this program receives it: on the macOS program the
    // arguments joined by single blanks without quotes, on Windows the
    // framework's line with its quotes.
    juce::String getProgramCommandLine() const;

    bool m_bInitialised;
    CInstanceLink m_instanceLink;
    // The classic look: dark text on the panels' light backgrounds.
    CLookAndFeel m_lookAndFeel;

    JUCE_DECLARE_NON_COPYABLE(KSPLLibApp)
};
