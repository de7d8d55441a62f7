#include "KSPLLibApp.h"
#include "ActionManager.h"
#include "CDialogUtil.h"
#include "CProgNameTable.h"
#include "CRepaintFallback.h"
#include "KSPLLibAppWindow.h"
#include "KSPLLibComponent.h"

#if JUCE_WINDOWS
 #include <windows.h> // GetCommandLineW
#endif

KSPLLibApp::KSPLLibApp() : m_pMainWindow(nullptr), m_bInitialised(false)
{
#if KSQX_TARGET_MAC
    m_hEventHandler = nullptr;
#endif
}

KSPLLibApp::~KSPLLibApp() = default;

const juce::String KSPLLibApp::getApplicationName() { return kApplicationName; }
const juce::String KSPLLibApp::getApplicationVersion() { return kApplicationVersion; }
bool KSPLLibApp::moreThanOneInstanceAllowed()
{
#if JUCE_LINUX
    // The framework's lock is one file for the whole machine there, which
    // another user's copy holds or leaves behind: the program takes its own,
    // per user, first thing in initialise.
    return true;
#else
    return false;
#endif
}

juce::String KSPLLibApp::getProgramCommandLine() const
{
#if KSQX_TARGET_MAC
    return getCommandLineParameterArray().joinIntoString(" ").trim();
#elif JUCE_WINDOWS
    // The framework's line is the raw rest of the process's one, where a tab
    // would stay inside an argument.
    return normaliseWindowsCommandLine(juce::String(GetCommandLineW()));
#else
    return getCommandLineParameters().trim();
#endif
}

void KSPLLibApp::initialise(const juce::String& commandLine)
{
#if JUCE_LINUX
    // A second launch hands its command line to this user's running instance
    // and ends with exit code 0, showing nothing.
    if (!m_instanceLink.takeInstanceOrHandOver(getProgramCommandLine(), juce::File::getCurrentWorkingDirectory()))
    {
        quit();
        return;
    }
#endif
    m_bInitialised = true;
    juce::LookAndFeel::setDefaultLookAndFeel(&m_lookAndFeel);
#if KSQX_TARGET_WIN && JUCE_WINDOWS
    CRepaintFallback::install();
#endif
#if KSQX_TARGET_MAC
    installMacEventHandlers();
    parseCommandLine(getProgramCommandLine());
    juce::ignoreUnused(commandLine);
#elif JUCE_WINDOWS
    parseCommandLine(getProgramCommandLine());
    juce::ignoreUnused(commandLine);
#else
    parseCommandLine(commandLine);
#endif

    m_pMainWindow = new KSPLLibAppWindow();

    if (m_fileDocument.exists() && m_pMainWindow->m_pProgNameTable != nullptr)
        m_pMainWindow->m_pProgNameTable->openWithFile(m_fileDocument, false);

    m_pMainWindow->setVisible(true);
    if (auto* peer = m_pMainWindow->getPeer())
        peer->toFront(true);

    if (auto* actions = m_pMainWindow->m_pMainComponent->getActionManager())
        actions->executeRxProg();

    listenForSecondLaunches();
}

bool KSPLLibApp::listenForSecondLaunches()
{
    m_instanceLink.startListening([this](const juce::File& startFolder, const juce::String& line) {
        openFromSecondLaunch(startFolder, line.trim());
    });
    return m_instanceLink.isListening();
}

void KSPLLibApp::shutdown()
{
    if (!m_bInitialised)
    {
        // A second launch (on Linux it has handed over in initialise).
#if JUCE_WINDOWS
        // The framework found the running instance and has broadcast the
        // bare command line already; the running instance ignores that one
        // and opens this, which names the folder its names are relative to.
        juce::MessageManager::broadcastMessage(
            getApplicationName() + "/"
            + CInstanceLink::encodeText(juce::File::getCurrentWorkingDirectory(), getProgramCommandLine()));
#endif
        return;
    }
    m_instanceLink.stopListening();
    delete m_pMainWindow;
    m_pMainWindow = nullptr;
#if KSQX_TARGET_WIN && JUCE_WINDOWS
    CRepaintFallback::remove();
#endif
    juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
}

void KSPLLibApp::anotherInstanceStarted(const juce::String& commandLine)
{
#if JUCE_WINDOWS
    // Only the program's own hand-over, which names the launch's folder; the
    // framework's raw line of the same launch would be resolved here, against
    // this instance's folder.
    juce::File startFolder;
    juce::String line;
    if (CInstanceLink::decodeText(commandLine, startFolder, line))
        openFromSecondLaunch(startFolder, line.trim());
#else
    openFromSecondLaunch(juce::File::getCurrentWorkingDirectory(), commandLine);
#endif
}

void KSPLLibApp::openFromSecondLaunch(const juce::File& startFolder, const juce::String& commandLine)
{
    if (m_pMainWindow == nullptr)
        return;
    parseCommandLine(commandLine, startFolder);
    if (m_fileDocument.exists() && m_pMainWindow->m_pProgNameTable != nullptr)
        m_pMainWindow->m_pProgNameTable->openWithFile(juce::File(m_fileDocument), true);
    if (auto* peer = m_pMainWindow->getPeer())
        peer->toFront(true);
}

juce::StringArray KSPLLibApp::splitCommandLine(const juce::String& commandLine)
{
    juce::StringArray args;
    juce::String current;
    bool inQuotes = false;
    for (auto p = commandLine.getCharPointer(); !p.isEmpty(); ++p)
    {
        const juce::juce_wchar c = *p;
        if (!inQuotes)
        {
            if (c == '"')
                inQuotes = true;
            else if (c == ' ')
            {
                if (current.isNotEmpty())
                {
                    args.add(current);
                    current.clear();
                }
            }
            else
                current += juce::String::charToString(c);
        }
        else if (c == '"')
        {
            args.add(current);
            current.clear();
            inQuotes = false;
        }
        else
            current += juce::String::charToString(c);
    }
    if (current.isNotEmpty())
        args.add(current);
    return args;
}

juce::String KSPLLibApp::normaliseWindowsCommandLine(const juce::String& processCommandLine)
{
    juce::StringArray tokens;
    juce::String current;
    bool inToken = false, inQuotes = false;
    for (auto p = processCommandLine.getCharPointer(); !p.isEmpty(); ++p)
    {
        const juce::juce_wchar c = *p;
        const bool separator = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (separator && !inQuotes)
        {
            if (inToken)
                tokens.add(current);
            current.clear();
            inToken = false;
            continue;
        }
        if (c == '"')
            inQuotes = !inQuotes;
        current += juce::String::charToString(c);
        inToken = true;
    }
    if (inToken)
        tokens.add(current);
    tokens.remove(0); // the program's own path
    return tokens.joinIntoString(" ").trim();
}

void KSPLLibApp::parseCommandLine(const juce::String& commandLine)
{
    parseCommandLine(commandLine, juce::File::getCurrentWorkingDirectory());
}

void KSPLLibApp::parseCommandLine(const juce::String& commandLine, const juce::File& startFolder)
{
    m_fileDocument = juce::File();
    for (const auto& arg : splitCommandLine(commandLine))
    {
        if (arg.startsWithChar('-'))
            continue;
        // An empty argument names no file; a relative one is taken from the
        // folder the launch was started in.
        if (arg.isNotEmpty())
            m_fileDocument = startFolder.getChildFile(arg);
        break;
    }
}

bool KSPLLibApp::onMacOpenDocument(const juce::File& file)
{
    if (!file.exists())
        return false;
    m_fileDocument = file;
    return true;
}

#if KSQX_TARGET_MAC
void KSPLLibApp::installMacEventHandlers()
{
    const EventTypeSpec commandProcess {kEventClassCommand, kEventCommandProcess};
    InstallEventHandler(GetApplicationEventTarget(), NewEventHandlerUPP(handleMacCarbonEvent), 1,
                        &commandProcess, this, &m_hEventHandler);
    AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, NewAEEventHandlerUPP(onMacAeOpenDocument), this,
                          false);
    AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, NewAEEventHandlerUPP(onMacAeQuit), this, false);
}

OSStatus KSPLLibApp::handleMacCarbonEvent(EventHandlerCallRef, EventRef event, void*)
{
    if (GetEventClass(event) != kEventClassCommand || GetEventKind(event) != kEventCommandProcess)
        return eventNotHandledErr;
    HICommand command;
    if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof(command), nullptr,
                          &command)
            != noErr
        || command.commandID != kHICommandQuit)
        return eventNotHandledErr;
    if (CDialogUtil::askQuit())
        return eventNotHandledErr; // on to the framework's own Quit handling
    return noErr;
}

OSErr KSPLLibApp::onMacAeOpenDocument(const AppleEvent* event, AppleEvent*, SRefCon refcon)
{
    auto* app = static_cast<KSPLLibApp*>(refcon);
    if (app == nullptr)
        return 0;
    AEDescList docList;
    if (AEGetParamDesc(event, keyDirectObject, typeAEList, &docList) != noErr)
        return 0;
    long count = 0;
    if (AECountItems(&docList, &count) == noErr)
    {
        for (long i = 1; i <= count; ++i)
        {
            FSRef ref;
            if (AEGetNthPtr(&docList, i, typeFSRef, nullptr, nullptr, &ref, sizeof(ref), nullptr) != noErr)
                continue;
            if (app->onMacOpenDocument(juce::File(MacPlatform::makePathFromFSRef(&ref))))
                break;
        }
    }
    AEDisposeDesc(&docList);
    return 0;
}

OSErr KSPLLibApp::onMacAeQuit(const AppleEvent*, AppleEvent*, SRefCon)
{
    if (auto* app = juce::JUCEApplication::getInstance())
        app->systemRequestedQuit();
    return 0;
}
#endif
