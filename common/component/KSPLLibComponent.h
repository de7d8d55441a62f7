#pragma once
#include "KsqxJuce.h"
#include <functional>

class CProgNameTable;
class CMidiSetupComponent;
class CConfigDialogComponent;
class CAboutDialogComponent;
class CProgressDialogComponent;
class ActionManager;
class MenuBarManager;

// The main window's content: builds and wires every part of the program,
// owns the table and the panels, and takes dropped library files.
class KSPLLibComponent : public juce::Component,
                         public juce::FileDragAndDropTarget,
                         public juce::ApplicationCommandTarget
{
public:
    KSPLLibComponent();
    ~KSPLLibComponent() override;

    void mouseDrag(const juce::MouseEvent& e) override;
    void mouseUp(const juce::MouseEvent& e) override;
    void paint(juce::Graphics& g) override;
    bool keyPressed(const juce::KeyPress& key) override;
    void resized() override;
    void filesDropped(const juce::StringArray& files, int x, int y) override;
    juce::ApplicationCommandTarget* getNextCommandTarget() override;
    void getAllCommands(juce::Array<juce::CommandID>& commands) override;
    void getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result) override;
    bool perform(const juce::ApplicationCommandTarget::InvocationInfo& info) override;
    bool isInterestedInFileDrag(const juce::StringArray& files) override;

    juce::ApplicationCommandManager* getApplicationCommandManager() const { return m_pCommandManager; }
    ActionManager* getActionManager() const { return m_pActionManager; }
    MenuBarManager* getMenuBarManager() const { return m_pMenuBarManager; }
    CConfigDialogComponent* getConfigDialogComponent() const { return m_pConfigDialogComponent; }
    CProgNameTable* getProgNameTable() const { return m_pProgNameTable; }
    CMidiSetupComponent* getMidiSetupComponent() const { return m_pMidiSetupComponent; }
    CAboutDialogComponent* getAboutDialogComponent() const { return m_pAboutDialogComponent; }
    CProgressDialogComponent* getProgressDialogComponent() const { return m_pProgressDialogComponent; }

    // Test seam: called right after the MIDI setup panel is created, before
    // any port is opened, so that a test can attach an emulated unit.
    using MidiSetupHook = std::function<void(CMidiSetupComponent*)>;
    static void setMidiSetupHook(MidiSetupHook hook);

private:
    void readOrCreateSettingsFile();

    juce::ApplicationCommandManager* m_pCommandManager;
    ActionManager* m_pActionManager;
    MenuBarManager* m_pMenuBarManager;
    CMidiSetupComponent* m_pMidiSetupComponent;
    CConfigDialogComponent* m_pConfigDialogComponent;
    CAboutDialogComponent* m_pAboutDialogComponent;
    CProgressDialogComponent* m_pProgressDialogComponent;
    CProgNameTable* m_pProgNameTable;

    JUCE_DECLARE_NON_COPYABLE(KSPLLibComponent)
};
