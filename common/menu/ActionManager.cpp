#include "ActionManager.h"
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CDialogUtil.h"
#include "CFileUtil.h"
#include "CMidiSetupComponent.h"
#include "CProgNameTable.h"
#include "CProgressDialogComponent.h"
#include "KsqxTexts.h"
#include <cstring>

namespace
{
enum class Category
{
    File,
    Edit,
    Option
};

struct CommandRow
{
    juce::CommandID id;
    const char* shortName;
    const char* description;
    Category category;
    int key; // 0: no default key; otherwise with the command modifier
};

// The command table, in the order the framework is given the ids.
const CommandRow kCommands[] = {
    {ActionManager::kCmdFileOpen, "Open...", "Open .ksqx File", Category::File, 'O'},
    {ActionManager::kCmdFileSave, "Save...", "Save .ksqx File", Category::File, 'S'},
    {ActionManager::kCmdFileClose, "Close File(s)", "Close .ksqx File", Category::File, KSQX_TARGET_WIN ? 'W' : 0},
    {ActionManager::kCmdTransmit, "Transmit", "Tx to KSQX", Category::File, 0},
    {ActionManager::kCmdReceive, "Receive", "Rx from KSQX", Category::File, 0},
#if KSQX_TARGET_WIN
    // On macOS the application menu's Quit belongs to the framework.
    {ActionManager::kCmdQuit, "Quit", "Quit...", Category::File, 'Q'},
#endif
    {ActionManager::kCmdCut, "Cut", "Cut Selection(s)", Category::Edit, 'X'},
    {ActionManager::kCmdClear, "Clear", "Clear Selection(s)", Category::Edit, 'D'},
    {ActionManager::kCmdCopy, "Copy", "Copy Selection(s)", Category::Edit, 'C'},
    {ActionManager::kCmdPaste, "Paste", "Paste Clipboard", Category::Edit, 'V'},
    {ActionManager::kCmdInsert, "Insert", "Insert Clipboard", Category::Edit, 'I'},
    {ActionManager::kCmdMidiSetup, "MIDI Setup", "Open MIDI Setup", Category::Option, 0},
    {ActionManager::kCmdSettings, "Settings", "Open Config Dialog", Category::Option, 0},
    {ActionManager::kCmdAbout, "About..", "Open About Dialog", Category::Option, 0},
};

const CommandRow* findCommand(juce::CommandID id)
{
    for (const auto& row : kCommands)
        if (row.id == id)
            return &row;
    return nullptr;
}

juce::String categoryName(Category c)
{
    switch (c)
    {
    case Category::File:
        return "File";
    case Category::Edit:
        return "Edit";
    case Category::Option:
        return "Option";
    }
    return {};
}

constexpr int kRxHandOverDelayMs = 100;

juce::String libraryPattern() { return juce::String("*") + kLibraryExtension; }

void showConnectionError()
{
    CDialogUtil::showMessageBox(juce::MessageBoxIconType::QuestionIcon, "MIDI Connection Error:", "Target Not Found.",
                                "  OK  ");
}

void showSaveError()
{
    CDialogUtil::showMessageBox(juce::MessageBoxIconType::WarningIcon, "File Save Error:",
                                "This file (or this location) is set to read-only.\n\r"
                                "Try again with a different file name (or a different location).",
                                "  OK  ");
}

bool askOkCancel(const juce::String& title, const juce::String& message, const juce::String& okText)
{
    return CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, title, message, okText, "Cancel");
}

// A dialog that was cancelled, could not be shown or gave a folder names no
// file to work on.
bool isUsableChoice(const juce::File& file) { return file != juce::File() && !file.isDirectory(); }

void hideIfVisible(juce::Component* panel)
{
    if (panel != nullptr && panel->isVisible())
        panel->setVisible(false);
}

void showCentred(juce::Component& panel)
{
    // A panel closes with the framework's fade-out, which ends by setting the
    // panel's own alpha to 0: a fade still running is stopped, and the panel
    // is made opaque again, or it would be shown fully transparent.
    juce::Desktop::getInstance().getAnimator().cancelAnimation(&panel, false);
    panel.setAlpha(1.0f);
    panel.centreWithSize(panel.getWidth(), panel.getHeight());
    panel.setVisible(true);
}
} // namespace

ActionManager::ActionManager()
    : m_pProgNameTable(nullptr), m_pMidiSetupComponent(nullptr), m_pConfigDialogComponent(nullptr),
      m_pAboutDialogComponent(nullptr), m_pProgressDialogComponent(nullptr), m_bMenuEnable(false), m_iReqID(0)
{
}

ActionManager::~ActionManager() = default;

juce::ApplicationCommandTarget* ActionManager::getNextCommandTarget() { return juce::JUCEApplication::getInstance(); }

void ActionManager::getAllCommands(juce::Array<juce::CommandID>& commands)
{
    for (const auto& row : kCommands)
        commands.add(row.id);
}

void ActionManager::getCommandInfo(juce::CommandID commandID, juce::ApplicationCommandInfo& result)
{
    const CommandRow* row = findCommand(commandID);
    if (row == nullptr)
        return;

    result.setInfo(row->shortName, row->description, categoryName(row->category), 0);
    if (row->key != 0)
        result.addDefaultKeypress(row->key, juce::ModifierKeys::commandModifier);

    if (!m_bMenuEnable || m_pProgNameTable == nullptr)
        return;
    switch (commandID)
    {
    case kCmdCut:
    case kCmdClear:
        result.setActive(m_pProgNameTable->GetCutEnable());
        break;
    case kCmdCopy:
        // Copying out of a library row is allowed: that is how library
        // programs get into the user area.
        result.setActive(m_pProgNameTable->m_bCutEnable);
        break;
    case kCmdPaste:
    case kCmdInsert:
        result.setActive(m_pProgNameTable->GetInsertEnable());
        break;
    default:
        break;
    }
}

bool ActionManager::perform(const juce::ApplicationCommandTarget::InvocationInfo& info)
{
    switch (info.commandID)
    {
    case kCmdFileOpen:
        executeFileOpen();
        return true;
    case kCmdFileSave:
        executeFileSave();
        return true;
    case kCmdFileClose:
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->Close();
        return true;
    case kCmdTransmit:
        if (askOkCancel("Transmit:", "This command will overwrite 100 programs of your Kestrum QX. Are you sure?",
                        " OK "))
            executeTxProg();
        return true;
    case kCmdReceive:
        if (askOkCancel("Receive:", "This command will overwrite current list. Are you sure?", "  OK  "))
            executeRxProg();
        return true;
#if KSQX_TARGET_WIN
    case kCmdQuit:
        if (CDialogUtil::askQuit())
            if (auto* app = juce::JUCEApplication::getInstance())
                app->systemRequestedQuit();
        return true;
#endif
    case kCmdCut:
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->Cut();
        return true;
    case kCmdClear:
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->Clear();
        return true;
    case kCmdCopy:
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->Copy();
        return true;
    case kCmdPaste:
        executePaste();
        return true;
    case kCmdInsert:
        if (m_pProgNameTable != nullptr)
            m_pProgNameTable->Insert();
        return true;
    case kCmdMidiSetup:
        OpenMidiSetupDialog();
        return true;
    case kCmdSettings:
        OpenConfigDialog();
        return true;
    case kCmdAbout:
        OpenAboutDialog();
        return true;
    default:
        return false;
    }
}

//==============================================================================
// Panels

void ActionManager::OpenMidiSetupDialog()
{
    if (m_pMidiSetupComponent == nullptr)
        return;
    hideIfVisible(m_pConfigDialogComponent);
    hideIfVisible(m_pAboutDialogComponent);
    showCentred(*m_pMidiSetupComponent);
}

void ActionManager::OpenConfigDialog()
{
    if (m_pConfigDialogComponent == nullptr)
        return;
    hideIfVisible(m_pMidiSetupComponent);
    hideIfVisible(m_pAboutDialogComponent);
    // Brings the settings up to date and keeps a copy for Cancel.
    m_pConfigDialogComponent->pushConfigParam();
    showCentred(*m_pConfigDialogComponent);
}

void ActionManager::OpenAboutDialog()
{
    if (m_pAboutDialogComponent == nullptr)
        return;
    hideIfVisible(m_pMidiSetupComponent);
    hideIfVisible(m_pConfigDialogComponent);
    m_pAboutDialogComponent->m_bConnected = m_pMidiSetupComponent != nullptr && m_pMidiSetupComponent->m_bConnected;
    showCentred(*m_pAboutDialogComponent);
}

void ActionManager::OpenProgressDialog()
{
    if (m_pProgressDialogComponent == nullptr)
        return;
    m_pProgressDialogComponent->setProgress(0.0);
    showCentred(*m_pProgressDialogComponent);
}

//==============================================================================
// Transfer reports, from the MIDI input thread under the message-manager lock

void ActionManager::updateProgress(int percent)
{
    // A report for a panel that has already closed is dropped, so a late
    // answer does not bring the panel back.
    if (m_pProgressDialogComponent != nullptr && m_pProgressDialogComponent->isVisible())
        m_pProgressDialogComponent->setProgress(percent * 0.01);
}

void ActionManager::setReqID_RxFinish()
{
    m_iReqID = 1;
    startTimer(kRxHandOverDelayMs);
}

// The received programs reach the table on the message thread only.
void ActionManager::timerCallback()
{
    if (m_iReqID == 1 && m_pProgNameTable != nullptr && m_pMidiSetupComponent != nullptr)
    {
        for (int p = 0; p < kUserProgCount; ++p)
            std::memcpy(m_pProgNameTable->m_ucReadProgData + p * kProgDumpSize,
                        m_pMidiSetupComponent->m_ucRxProgData + p * kProgDumpSize, (size_t) kProgDumpSize);
        m_pProgNameTable->UpdateUserProg();
        // Selected without a click: the unit is not sent a current program.
        m_pProgNameTable->selectRow(0, false, true);
    }
    m_iReqID = 0;
    stopTimer();
}

//==============================================================================
// Edit

void ActionManager::executePaste()
{
    if (m_pProgNameTable == nullptr)
        return;
    if (!m_pProgNameTable->CheckRange()
        && !askOkCancel("Warning:", "Some Program(s) can't paste. Paste Anyway?", "  OK  "))
        return;
    m_pProgNameTable->Paste();
}

//==============================================================================
// Transfers

void ActionManager::executeRxProg()
{
    if (m_pMidiSetupComponent == nullptr || !m_pMidiSetupComponent->m_bConnected)
    {
        showConnectionError();
        return;
    }
    OpenProgressDialog();
    m_pMidiSetupComponent->startRxAllProg();
    m_pMidiSetupComponent->sendProgDumpRequest(0);
}

void ActionManager::executeTxProg()
{
    if (m_pMidiSetupComponent != nullptr)
        m_pMidiSetupComponent->m_iTxProgNo = 0;
    if (m_pMidiSetupComponent == nullptr || !m_pMidiSetupComponent->m_bConnected)
    {
        showConnectionError();
        return;
    }
    if (m_pProgNameTable == nullptr)
        return;
    // The user area only, whatever is selected: library rows are never sent.
    for (int r = 0; r < kUserProgCount; ++r)
        m_pProgNameTable->CopyProgForWrite(r, m_pMidiSetupComponent->m_ucTxProgData + r * kProgDumpSize);
    OpenProgressDialog();
    m_pMidiSetupComponent->startTxAllProg();
}

//==============================================================================
// Library files

void ActionManager::executeFileOpen()
{
    const juce::File file =
        CDialogUtil::browseForFileToOpen({}, juce::File::getCurrentWorkingDirectory(), libraryPattern());
    if (!isUsableChoice(file))
        return;
    file.getParentDirectory().setAsCurrentWorkingDirectory();
    if (m_pProgNameTable != nullptr)
        m_pProgNameTable->openWithFile(file, true);
}

void ActionManager::executeFileSave()
{
    const juce::File chosen =
        CDialogUtil::browseForFileToSave({}, juce::File::getCurrentWorkingDirectory(), libraryPattern(), true);
    if (!isUsableChoice(chosen))
        return;
    // The dialog remembers the folder even when the save is then given up.
    chosen.getParentDirectory().setAsCurrentWorkingDirectory();

    juce::File target = chosen;
    if (chosen.getFileExtension() != kLibraryExtension)
    {
        // The dialog warned about the name typed, not about this one.
        target = chosen.getParentDirectory().getChildFile(chosen.getFileName() + kLibraryExtension);
        if (target.exists()
            && !CDialogUtil::showOkCancelBox(juce::MessageBoxIconType::WarningIcon, "Confirm Save As:",
                                             target.getFileName() + " already exists.\n\rDo you want to replace it?",
                                             " Yes ", "  No  "))
            return;
    }

    if (m_pProgNameTable == nullptr)
        return;
    for (int r = 0; r < kUserProgCount; ++r)
        m_pProgNameTable->CopyProgForWrite(r, m_pProgNameTable->m_ucWriteProgData + r * kProgDumpSize);
    if (!CFileUtil::writeWholeFile(target, m_pProgNameTable->m_ucWriteProgData, (size_t) kProgDumpBlockSize))
        showSaveError();
}
