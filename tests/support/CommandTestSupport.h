#pragma once
#include "ActionManager.h"
#include "MenuBarManager.h"
#include <vector>

// The command target with a command manager and menu bar model wired as the
// content component wires them. With no focused window the command manager
// would ask the application first, so the target is named directly.
struct CommandRig
{
    ActionManager actions;
    juce::ApplicationCommandManager commands;
    MenuBarManager menus{&commands};

    CommandRig();

    struct MenuItem
    {
        int id = 0;
        juce::String text;
        bool enabled = false;
        bool separator = false;
        bool operator==(const MenuItem& o) const
        {
            return id == o.id && text == o.text && enabled == o.enabled && separator == o.separator;
        }
    };
    std::vector<MenuItem> menuItems(int index);

    // The shortcuts the key mappings give a command.
    juce::Array<juce::KeyPress> keysOf(int commandId);
};

std::ostream& operator<<(std::ostream& os, const CommandRig::MenuItem& item);

// The ids the framework is given, in order.
std::vector<int> allCommandIds(ActionManager& actions);
