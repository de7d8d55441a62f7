#pragma once
#include "KsqxJuce.h"

class CProgNameTable;
class CMidiSetupComponent;
class CConfigDialogComponent;
class CAboutDialogComponent;
class CProgressDialogComponent;

// The program's one command target: lists, describes and performs every
// command, opens the panels, relays transfer progress and hands a finished
// reception over to the table on the message thread.
class ActionManager : public juce::ApplicationCommandTarget, private juce::Timer
{
public:
    enum CommandIDs
    {
        kCmdFileOpen = 256,
        kCmdFileSave = 257,
        kCmdFileClose = 258,
        kCmdTransmit = 259,
        kCmdReceive = 260,
        kCmdQuit = 261, // the Windows program only
        kCmdCut = 512,
        kCmdClear = 513,
        kCmdCopy = 514,
        kCmdPaste = 515,
        kCmdInsert = 516,
        kCmdMidiSetup = 1024,
        kCmdSettings = 1025,
        kCmdAbout = 1026
    };

    ActionManager();
    ~ActionManager() override;

    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands(juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform(const juce::ApplicationCommandTarget::InvocationInfo& info) override;

    void setProgNameTable(CProgNameTable* p) { m_pProgNameTable = p; }
    void setMidiSetupComponent(CMidiSetupComponent* p) { m_pMidiSetupComponent = p; }
    void setConfigDialogComponent(CConfigDialogComponent* p) { m_pConfigDialogComponent = p; }
    void setAboutDialogComponent(CAboutDialogComponent* p) { m_pAboutDialogComponent = p; }
    void setProgressDialogComponent(CProgressDialogComponent* p) { m_pProgressDialogComponent = p; }
    void setMenuEnable(bool enable) { m_bMenuEnable = enable; }

    void OpenMidiSetupDialog();
    void OpenConfigDialog();
    void OpenAboutDialog();
    void OpenProgressDialog();

    // Called on the MIDI input thread, under the message-manager lock.
    void updateProgress(int percent);
    void setReqID_RxFinish();

    void executePaste();
    void executeRxProg();
    void executeTxProg();
    void executeFileOpen();
    void executeFileSave();

    CProgNameTable* m_pProgNameTable;
    CMidiSetupComponent* m_pMidiSetupComponent;
    CConfigDialogComponent* m_pConfigDialogComponent;
    CAboutDialogComponent* m_pAboutDialogComponent;
    CProgressDialogComponent* m_pProgressDialogComponent;
    bool m_bMenuEnable;
    int m_iReqID;

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE(ActionManager)
};
