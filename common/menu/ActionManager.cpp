#include "ActionManager.h"
// Stub: replaced by the commands' implementation.
ActionManager::ActionManager()
    : m_pProgNameTable(nullptr), m_pMidiSetupComponent(nullptr), m_pConfigDialogComponent(nullptr),
      m_pAboutDialogComponent(nullptr), m_pProgressDialogComponent(nullptr), m_bMenuEnable(false), m_iReqID(0) {}
ActionManager::~ActionManager() = default;
juce::ApplicationCommandTarget* ActionManager::getNextCommandTarget() { return juce::JUCEApplication::getInstance(); }
void ActionManager::getAllCommands(juce::Array<juce::CommandID>&) {}
void ActionManager::getCommandInfo(juce::CommandID, juce::ApplicationCommandInfo&) {}
bool ActionManager::perform(const juce::ApplicationCommandTarget::InvocationInfo&) { return false; }
void ActionManager::OpenMidiSetupDialog() {}
void ActionManager::OpenConfigDialog() {}
void ActionManager::OpenAboutDialog() {}
void ActionManager::OpenProgressDialog() {}
void ActionManager::updateProgress(int) {}
void ActionManager::setReqID_RxFinish() {}
void ActionManager::executePaste() {}
void ActionManager::executeRxProg() {}
void ActionManager::executeTxProg() {}
void ActionManager::executeFileOpen() {}
void ActionManager::executeFileSave() {}
void ActionManager::timerCallback() {}
