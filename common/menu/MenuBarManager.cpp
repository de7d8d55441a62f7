#include "MenuBarManager.h"
// Stub: replaced by the menus' implementation.
MenuBarManager::MenuBarManager(juce::ApplicationCommandManager* m) : m_pCommandManager(m) {}
MenuBarManager::~MenuBarManager() = default;
juce::StringArray MenuBarManager::getMenuBarNames() { return {"File", "Edit", "Option"}; }
juce::PopupMenu MenuBarManager::getMenuForIndex(int, const juce::String&) { return {}; }
void MenuBarManager::menuItemSelected(int, int) {}
