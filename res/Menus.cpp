#include "res/Resources.h"

#include <map>

namespace res {

using platform::MenuItem;
using platform::MenuTemplate;

namespace {

MenuItem command(int id, const QString &text)
{
    return MenuItem{id, text, {}};
}

MenuItem popup(std::vector<MenuItem> items)
{
    return MenuItem{0, QStringLiteral("_POPUP_"), std::move(items)};
}

const std::map<int, MenuTemplate> &menus()
{
    static const std::map<int, MenuTemplate> all = [] {
        const MenuItem selectAll = command(CmdSelectAll, QStringLiteral("全选 (&A)"));
        const MenuItem copy = command(CmdCopy, QStringLiteral("复制 (&C)"));
        std::map<int, MenuTemplate> m;
        m[TrayMenu] =
            MenuTemplate{TrayMenu, {popup({command(CmdExit, QStringLiteral("退出Vorlant-高阶版"))})}};
        m[CellListMenu] = MenuTemplate{
            CellListMenu, {popup({selectAll, copy, command(CmdOpen, QStringLiteral("打开此网址(&O)"))})}};
        m[DomainListMenu] = MenuTemplate{DomainListMenu,
                                         {popup({command(CmdCopy, QStringLiteral("复制游戏网址 (&C)")),
                                                 command(CmdDelete, QStringLiteral("删除")),
                                                 command(CmdModify, QStringLiteral("修改"))})}};
        m[AdResultListMenu] =
            MenuTemplate{AdResultListMenu,
                         {popup({selectAll, copy, command(CmdOpen, QStringLiteral("打开发布站(&O)")),
                                 command(CmdSearchAds, QStringLiteral("查询本游戏所有广告(&Q)")),
                                 command(CmdSearchJump, QStringLiteral("查询游戏网址跳转(&J)")),
                                 command(CmdSearchHistory, QStringLiteral("查询历史广告(&H)"))})}};
        return m;
    }();
    return all;
}

} // namespace

const MenuTemplate *findMenu(int id)
{
    const auto it = menus().find(id);
    return it == menus().end() ? nullptr : &it->second;
}

std::vector<int> MenuIds()
{
    std::vector<int> ids;
    for (const auto &[id, menu] : menus())
        ids.push_back(id);
    return ids;
}

} // namespace res
