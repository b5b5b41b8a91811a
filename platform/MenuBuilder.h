#pragma once

#include <memory>

#include <QMenu>

#include "platform/ResourceTypes.h"

namespace platform {

// Builds a popup of a menu template; each action carries its command id in data().
// The menu has no parent widget: its owner is the returned pointer alone.
std::unique_ptr<QMenu> buildPopupMenu(const MenuItem &popup);

// The first sub-menu of a menu template, as context menus show it; null for an empty template.
std::unique_ptr<QMenu> buildContextMenu(const MenuTemplate &menu);

// Command id of an action made by BuildPopupMenu, 0 for others.
int commandOf(const QAction *action);

// The action with that command id anywhere in the menu, or null.
QAction *findCommand(const QMenu &menu, int command);

} // namespace platform
