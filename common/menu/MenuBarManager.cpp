#include "MenuBarManager.h"
#include "ActionManager.h"

MenuBarManager::MenuBarManager(juce::ApplicationCommandManager* commandManager) : m_pCommandManager(commandManager) {}

MenuBarManager::~MenuBarManager() = default;

juce::StringArray MenuBarManager::getMenuBarNames() { return {"File", "Edit", "Option"}; }

// Every item is a command item: its text, shortcut and enabled state come
// from the command table each time the menu is built.
juce::PopupMenu MenuBarManager::getMenuForIndex(int topLevelMenuIndex, const juce::String&)
{
    juce::PopupMenu menu;
    if (m_pCommandManager == nullptr)
        return menu;
    auto add = [this, &menu](juce::CommandID id) { menu.addCommandItem(m_pCommandManager, id, juce::String()); };
    switch (topLevelMenuIndex)
    {
    case 0:
        add(ActionManager::kCmdFileOpen);
        add(ActionManager::kCmdFileSave);
        add(ActionManager::kCmdFileClose);
        add(ActionManager::kCmdTransmit);
        add(ActionManager::kCmdReceive);
        // The macOS program has no Quit of its own (the application menu's
        // belongs to the framework), and then no separator either: a
        // trailing one would still be drawn.
        if (m_pCommandManager->getCommandForID(ActionManager::kCmdQuit) != nullptr)
        {
            menu.addSeparator();
            add(ActionManager::kCmdQuit);
        }
        break;
    case 1:
        add(ActionManager::kCmdCut);
        add(ActionManager::kCmdClear);
        add(ActionManager::kCmdCopy);
        add(ActionManager::kCmdPaste);
        add(ActionManager::kCmdInsert);
        break;
    case 2:
        add(ActionManager::kCmdMidiSetup);
        add(ActionManager::kCmdSettings);
        add(ActionManager::kCmdAbout);
        break;
    default:
        break;
    }
    return menu;
}

// The framework performs command items itself through the command manager.
void MenuBarManager::menuItemSelected(int, int) {}
