#pragma once

#include <vector>

#include <QIcon>
#include <QImage>
#include <QString>

#include "platform/ResourceTypes.h"

// The program's resources: dialog templates, menus, the icon, the pop-up skin and the
// string table, looked up by their numeric ids.

namespace res {

enum DialogId : int {
    AboutDialog = 100,
    MainDialog = 102,
    DomainEditDialog = 129,
    LoginDialog = 131,
    AccountAddDialog = 132,
    SiteStatusDialog = 133,
    AdSearchDialog = 135,
    AdDetailDialog = 137,
    SearchHelpDialog = 139,
    SelectSitesDialog = 140,
    ConfigNameDialog = 144,
    SiteSettingDialog = 145,
    ForwardSearchDialog = 146,
    HistorySearchDialog = 147,
};

enum MenuId : int {
    TrayMenu = 136,
    CellListMenu = 138,     // select all, copy, open this address
    DomainListMenu = 139,   // the main window's list of monitored addresses
    AdResultListMenu = 140, // the ad search results: 138 plus three searches
};

enum CommandId : int {
    CmdAbout = 16, // system menu item added by the main window
    CmdExit = 32771,
    CmdSelectAll = 32772,
    CmdCopy = 32773, // copy cells (138, 140); copy the game address (139)
    CmdDelete = 32775,
    CmdModify = 32777,
    CmdOpen = 32778,
    CmdSearchAds = 32780,
    CmdSearchJump = 32782,
    CmdSearchHistory = 32785,
};

constexpr int AppIconId = 128;
constexpr int AboutMenuString = 101;
constexpr int PopupSkinBitmap = 141;

// Null for an unknown id.
const platform::DialogTemplate *findDialog(int id);
// The template of a known id; an unknown id is a programming error (asserts; an empty template in release).
const platform::DialogTemplate &dialog(int id);
std::vector<int> DialogIds();

const platform::MenuTemplate *findMenu(int id);
std::vector<int> MenuIds();

// Empty for an unknown id.
QString LoadResString(int id);

// Icon 128 drawn at one size, and as an icon with the sizes 16, 32, 48 and 256.
QImage drawAppIcon(int size);
QIcon appIcon();

// Bitmap 141, the pop-up skin (150 x 100, magenta marks transparent pixels).
QImage popupSkin();

} // namespace res
