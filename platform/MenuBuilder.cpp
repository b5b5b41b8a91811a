#include "platform/MenuBuilder.h"

#include <QAction>

namespace platform {

namespace {

void fill(QMenu &menu, const std::vector<MenuItem> &items)
{
    for (const MenuItem &item : items) {
        if (item.isSeparator()) {
            menu.addSeparator();
        } else if (item.isPopup()) {
            QMenu *sub = menu.addMenu(item.text);
            fill(*sub, item.children);
        } else {
            QAction *action = menu.addAction(item.text);
            action->setData(item.command);
        }
    }
}

} // namespace

std::unique_ptr<QMenu> buildPopupMenu(const MenuItem &popup)
{
    auto menu = std::make_unique<QMenu>(popup.text);
    fill(*menu, popup.children);
    return menu;
}

std::unique_ptr<QMenu> buildContextMenu(const MenuTemplate &menu)
{
    if (menu.popups.empty())
        return nullptr;
    return buildPopupMenu(menu.popups.front());
}

int commandOf(const QAction *action)
{
    return action ? action->data().toInt() : 0;
}

QAction *findCommand(const QMenu &menu, int command)
{
    for (QAction *action : menu.actions()) {
        if (action->menu()) {
            if (QAction *found = findCommand(*action->menu(), command))
                return found;
        } else if (!action->isSeparator() && commandOf(action) == command) {
            return action;
        }
    }
    return nullptr;
}

} // namespace platform
