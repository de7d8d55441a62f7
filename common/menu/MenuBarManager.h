#pragma once
#include "KsqxJuce.h"

// The File, Edit and Option menus; every item is a command item of the
// command manager.
class MenuBarManager : public juce::MenuBarModel
{
public:
    explicit MenuBarManager(juce::ApplicationCommandManager* commandManager);
    ~MenuBarManager() override;

    juce::StringArray getMenuBarNames() override;
    juce::PopupMenu getMenuForIndex(int topLevelMenuIndex, const juce::String& menuName) override;
    void menuItemSelected(int menuItemID, int topLevelMenuIndex) override;

    juce::ApplicationCommandManager* m_pCommandManager;

private:
    JUCE_DECLARE_NON_COPYABLE(MenuBarManager)
};
