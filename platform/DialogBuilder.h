#pragma once

#include <map>

#include <QFont>
#include <QSize>

#include "platform/DialogUnits.h"
#include "platform/ResourceTypes.h"

class QWidget;

namespace platform {

// Name of the dynamic property that holds a control's numeric id.
inline constexpr char ControlIdProperty[] = "controlId";

// Widgets that a window supplies itself for some control ids (lists of its own class,
// the banner); the builder places them where the template says instead of making one.
using ControlBindings = std::map<int, QWidget *>;

struct BuiltDialog {
    QFont font;
    DialogUnits units;
    QSize clientSize;                  // pixels
    std::map<int, QWidget *> controls; // every control with an id other than IDC_STATIC

    QWidget *item(int id) const;
};

// Turns a dialog template into widgets under `host`: caption, window flags, font, fixed
// client size and one child per control at its converted rectangle, in template order
// (which is also the tab order). Group boxes are stacked behind their siblings.
BuiltDialog buildDialog(const DialogTemplate &tpl, QWidget &host, const ControlBindings &bound = {});

// The widget a control kind gets when the window binds none; no geometry is set.
QWidget *createDefaultControl(const ControlTemplate &control, QWidget *parent);

// The control with that id among the descendants of root, or null.
QWidget *findControl(const QWidget &root, int id);
// The id of a control made by the builder, IDC_STATIC for any other widget.
int controlId(const QWidget *widget);

} // namespace platform
