#include "CommandTestSupport.h"
#include <ostream>

CommandRig::CommandRig()
{
    commands.registerAllCommandsForTarget(&actions);
    commands.setFirstCommandTarget(&actions);
    commands.getKeyMappings()->resetToDefaultMappings();
}

std::vector<CommandRig::MenuItem> CommandRig::menuItems(int index)
{
    std::vector<MenuItem> items;
    const juce::PopupMenu menu = menus.getMenuForIndex(index, {});
    for (juce::PopupMenu::MenuItemIterator it(menu); it.next();)
    {
        const auto& item = it.getItem();
        items.push_back({item.itemID, item.text, item.isEnabled, item.isSeparator});
    }
    return items;
}

juce::Array<juce::KeyPress> CommandRig::keysOf(int commandId)
{
    return commands.getKeyMappings()->getKeyPressesAssignedToCommand(commandId);
}

std::ostream& operator<<(std::ostream& os, const CommandRig::MenuItem& item)
{
    if (item.separator)
        return os << "[separator]";
    return os << "[" << item.id << " \"" << item.text << "\" " << (item.enabled ? "enabled" : "greyed") << "]";
}

std::vector<int> allCommandIds(ActionManager& actions)
{
    juce::Array<juce::CommandID> ids;
    actions.getAllCommands(ids);
    return std::vector<int>(ids.begin(), ids.end());
}
