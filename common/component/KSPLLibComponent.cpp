#include "KSPLLibComponent.h"
#include "ActionManager.h"
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CDialogUtil.h"
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "CProgressDialogComponent.h"
#include "KsqxTexts.h"
#include "MenuBarManager.h"
#if KSQX_TARGET_MAC
#include "MacEventLayer.h"
#endif


namespace
{
KSPLLibComponent::MidiSetupHook& midiSetupHook()
{
    static KSPLLibComponent::MidiSetupHook hook;
    return hook;
}

// The command target, the command manager and the menu bar model live until
// the process ends (the macOS main menu goes on using them after this
// component is gone). They are recorded here so that they stay reachable.
void keepUntilProcessEnds(const void* object)
{
    static auto* kept = new std::vector<const void*>();
    kept->push_back(object);
}
} // namespace

void KSPLLibComponent::setMidiSetupHook(MidiSetupHook hook) { midiSetupHook() = std::move(hook); }

KSPLLibComponent::KSPLLibComponent()
    : m_pCommandManager(nullptr), m_pActionManager(nullptr), m_pMenuBarManager(nullptr),
      m_pMidiSetupComponent(nullptr), m_pConfigDialogComponent(nullptr), m_pAboutDialogComponent(nullptr),
      m_pProgressDialogComponent(nullptr), m_pProgNameTable(nullptr)
{
    m_pProgNameTable = new CProgNameTable();
    addAndMakeVisible(m_pProgNameTable);
    m_pProgNameTable->setName("UserProgTable");
    setSize(800, 600);

    CDialogUtil::showMessageBox(juce::MessageBoxIconType::NoIcon, kApplicationName, kApplicationVersion, "  OK  ");

    m_pActionManager = new ActionManager();
    m_pCommandManager = new juce::ApplicationCommandManager();
    m_pMenuBarManager = new MenuBarManager(m_pCommandManager);
    keepUntilProcessEnds(m_pActionManager);
    keepUntilProcessEnds(m_pCommandManager);
    keepUntilProcessEnds(m_pMenuBarManager);
    m_pCommandManager->registerAllCommandsForTarget(m_pActionManager);
    m_pMenuBarManager->setApplicationCommandManagerToWatch(m_pCommandManager);
#if KSQX_TARGET_MAC
    MacPlatform::setMacMainMenu(m_pMenuBarManager);
#endif
    m_pActionManager->setProgNameTable(m_pProgNameTable);
    m_pActionManager->setMenuEnable(true);

    m_pAboutDialogComponent = new CAboutDialogComponent();
    addChildComponent(m_pAboutDialogComponent);
    m_pActionManager->setAboutDialogComponent(m_pAboutDialogComponent);

    m_pConfigDialogComponent = new CConfigDialogComponent();
    addChildComponent(m_pConfigDialogComponent);
    m_pActionManager->setConfigDialogComponent(m_pConfigDialogComponent);
    m_pProgNameTable->setConfigDialogComponent(m_pConfigDialogComponent);
    m_pConfigDialogComponent->setProgNameTable(m_pProgNameTable);

    readOrCreateSettingsFile();
    setSize(m_pConfigDialogComponent->m_iWindowWidth, m_pConfigDialogComponent->m_iWindowHeight);

    m_pMidiSetupComponent = new CMidiSetupComponent();
    addChildComponent(m_pMidiSetupComponent);
    m_pActionManager->setMidiSetupComponent(m_pMidiSetupComponent);
    m_pMidiSetupComponent->m_pActionManager = m_pActionManager;
    if (auto& hook = midiSetupHook())
        hook(m_pMidiSetupComponent);

    m_pProgressDialogComponent = new CProgressDialogComponent();
    addChildComponent(m_pProgressDialogComponent);
    m_pActionManager->setProgressDialogComponent(m_pProgressDialogComponent);

    m_pMidiSetupComponent->openMIDIPort();

    // The pauses keep the message loop dispatching: the MIDI input thread's
    // handler needs the message-manager lock, which is granted only while the
    // message thread dispatches, so an identity reply can be taken meanwhile.
    m_pMidiSetupComponent->sendDevInqRequest();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(200);
    m_pMidiSetupComponent->sendDevInqRequest();
    juce::MessageManager::getInstance()->runDispatchLoopUntil(200);

    m_pProgNameTable->initialize();
    m_pProgNameTable->setMidiSetupComponent(m_pMidiSetupComponent);
}

void KSPLLibComponent::readOrCreateSettingsFile()
{
    auto* config = m_pConfigDialogComponent;
    // No data folder from the system gives no file: the defaults hold.
    const juce::File file = CConfigDialogComponent::getSettingsFile();
    if (file != juce::File() && file.exists())
    {
        // A file of another length is left as it is; shut-down rewrites it.
        if (!CConfigDialogComponent::readSettingsFile(file, config->m_ucConfigData))
            config->initConfigParam();
    }
    else
    {
        config->initConfigParam();
        if (file != juce::File() && CConfigDialogComponent::writeSettingsFile(file, config->m_ucConfigData))
            CConfigDialogComponent::getSettingsFile().getParentDirectory().setAsCurrentWorkingDirectory();
    }
    config->getConfigParam();
}

KSPLLibComponent::~KSPLLibComponent()
{
    if (m_pConfigDialogComponent != nullptr)
        m_pConfigDialogComponent->writeConfigParam();

    // The command target outlives this component: it must not reach the
    // parts deleted here, e.g. from a reception's hand-over timer.
    if (m_pActionManager != nullptr)
    {
        m_pActionManager->setProgNameTable(nullptr);
        m_pActionManager->setAboutDialogComponent(nullptr);
        m_pActionManager->setConfigDialogComponent(nullptr);
        m_pActionManager->setProgressDialogComponent(nullptr);
    }

    delete m_pProgNameTable;
    m_pProgNameTable = nullptr;
    delete m_pAboutDialogComponent;
    m_pAboutDialogComponent = nullptr;
    // Closing the MIDI ports here ends the input thread's use of the command
    // target and the progress panel before the progress panel goes.
    delete m_pMidiSetupComponent;
    m_pMidiSetupComponent = nullptr;
    if (m_pActionManager != nullptr)
        m_pActionManager->setMidiSetupComponent(nullptr);
    delete m_pConfigDialogComponent;
    m_pConfigDialogComponent = nullptr;
    delete m_pProgressDialogComponent;
    m_pProgressDialogComponent = nullptr;
}

void KSPLLibComponent::mouseDrag(const juce::MouseEvent&) {}
void KSPLLibComponent::mouseUp(const juce::MouseEvent&) {}

void KSPLLibComponent::paint(juce::Graphics& g) { g.fillAll(juce::Colour(0x90909090)); }

bool KSPLLibComponent::keyPressed(const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    if (code == juce::KeyPress::upKey || code == juce::KeyPress::downKey)
    {
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->keyPressed(key);
        return true;
    }
    return false;
}

void KSPLLibComponent::resized()
{
    if (m_pProgNameTable != nullptr)
        m_pProgNameTable->setBounds(0, 0, getWidth(), getHeight());
}

bool KSPLLibComponent::isInterestedInFileDrag(const juce::StringArray& files)
{
    for (int i = files.size(); --i >= 0;)
        if (juce::File(files[i]).hasFileExtension(kLibraryExtension) && !juce::File(files[i]).isDirectory())
            return true;
    return false;
}

void KSPLLibComponent::filesDropped(const juce::StringArray& files, int, int)
{
    for (int i = files.size(); --i >= 0;)
    {
        const juce::File file(files[i]);
        if (file.hasFileExtension(kLibraryExtension) && m_pProgNameTable != nullptr)
            m_pProgNameTable->openWithFile(juce::File(file), true);
    }
}

juce::ApplicationCommandTarget* KSPLLibComponent::getNextCommandTarget()
{
    if (m_pActionManager != nullptr)
        return m_pActionManager;
    return juce::JUCEApplication::getInstance();
}

void KSPLLibComponent::getAllCommands(juce::Array<juce::CommandID>&) {}
void KSPLLibComponent::getCommandInfo(juce::CommandID, juce::ApplicationCommandInfo&) {}
bool KSPLLibComponent::perform(const juce::ApplicationCommandTarget::InvocationInfo&) { return true; }
