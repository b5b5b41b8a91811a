#pragma once

#include <cstdint>
#include <vector>

#include <QRect>
#include <QString>

// Plain descriptions of windows and menus. The tables themselves live in res/;
// DialogBuilder and MenuBuilder turn them into widgets.

namespace platform {

// Command ids that every dialog understands, as the Windows dialog manager sends them.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
// Id of labels and frames that nobody looks up.
constexpr int IDC_STATIC = -1;

enum class ControlKind {
    Static,      // QLabel
    Icon,        // QLabel showing the application icon
    Edit,        // QLineEdit
    PushButton,  // QPushButton; clicked -> OnCommand(id)
    CheckBox,    // QCheckBox; clicked -> OnCommand(id)
    GroupBox,    // QGroupBox drawn behind its siblings
    ComboBox,    // QComboBox
    ListBox,     // QListWidget
    ReportList,  // report-view list; the window binds its own widget, otherwise a QTreeWidget
    VirtualList, // virtual report list; the window binds its own widget
    Browser,     // embedded page; the window binds its own widget, otherwise an empty frame
};

// Control styles, our own bits (not Win32 values).
enum ControlStyle : std::uint32_t {
    NoStyle = 0,
    DefaultButton = 1u << 0, // push button that Enter presses
    ReadOnly = 1u << 1,
    DigitsOnly = 1u << 2, // edit: typed characters other than 0-9 are refused
    Password = 1u << 3,
    AlignCenter = 1u << 4,
    AlignRight = 1u << 5,
    SingleLine = 1u << 6,   // static: no word wrap
    Sorted = 1u << 7,       // combo and list boxes keep their items sorted (see ControlHelpers)
    DropDownList = 1u << 8, // combo box without free text
    MultipleSel = 1u << 9,  // list box: a click toggles an item
    Disabled = 1u << 10,
    Hidden = 1u << 11,
    NoPrefix = 1u << 12, // static: '&' is shown as it is
    Border = 1u << 13,
    AutoHScroll = 1u << 14,
    TabStop = 1u << 15,
    Notify = 1u << 16,
};
using ControlStyles = std::uint32_t;

enum DialogStyle : std::uint32_t {
    DlgNone = 0,
    DlgCaption = 1u << 0,
    DlgSysMenu = 1u << 1,
    DlgMinimizeBox = 1u << 2,
    DlgMaximizeBox = 1u << 3,
    DlgModalFrame = 1u << 4,
    DlgResizable = 1u << 5,
    DlgVisible = 1u << 6,
    DlgAppWindow = 1u << 7, // own taskbar button: a top-level window, not a transient dialog
    DlgPopup = 1u << 8,
};
using DialogStyles = std::uint32_t;

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlKind kind = ControlKind::Static;
    QString text;
    QRect rect; // dialog units: x, y, width, height
    ControlStyles styles = NoStyle;
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize size; // client area in dialog units
    QString fontName;
    int pointSize = 8;
    DialogStyles styles = DlgNone;
    std::vector<ControlTemplate> controls;
};

// One entry of a menu: a command, a separator (command 0, empty text) or a sub-menu.
struct MenuItem {
    int command = 0;
    QString text;
    std::vector<MenuItem> children;

    bool isSeparator() const { return command == 0 && text.isEmpty() && children.empty(); }
    bool isPopup() const { return !children.empty(); }
};

struct MenuTemplate {
    int id = 0;
    std::vector<MenuItem> popups; // the menu bar; context menus show popups[0]
};

} // namespace platform
