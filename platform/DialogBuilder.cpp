#include "platform/DialogBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/ControlHelpers.h"

namespace platform {

namespace {

Qt::Alignment horizontalAlignment(ControlStyles styles)
{
    if (styles & AlignCenter)
        return Qt::AlignHCenter;
    if (styles & AlignRight)
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

Qt::WindowFlags windowFlags(DialogStyles styles)
{
    Qt::WindowFlags flags = (styles & DlgAppWindow) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if (styles & DlgCaption)
        flags |= Qt::WindowTitleHint;
    if (styles & DlgSysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (styles & DlgMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    if (styles & DlgMaximizeBox)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

QWidget *createReportList(QWidget *parent)
{
    auto *list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setColumnCount(0);
    list->header()->setStretchLastSection(false);
    return list;
}

} // namespace

namespace {

// A one-line label was sized for its template's font: in a font that writes its
// text wider it grows, away from the side it is aligned to, so the text shows whole.
QRect fittedLabel(QRect rect, const ControlTemplate &control, const QFont &font)
{
    const QFontMetrics metrics(font);
    if (control.text.contains(u'\n') || rect.height() >= 2 * metrics.lineSpacing())
        return rect;
    const int missing = metrics.horizontalAdvance(control.text) + 1 - rect.width();
    if (missing <= 0)
        return rect;
    const Qt::Alignment alignment = horizontalAlignment(control.styles);
    if (alignment & Qt::AlignRight)
        rect.setLeft(rect.left() - missing);
    else if (alignment & Qt::AlignHCenter)
        rect.adjust(-missing / 2, 0, missing - missing / 2, 0);
    else
        rect.setRight(rect.right() + missing);
    return rect;
}

} // namespace

QWidget *BuiltDialog::item(int id) const
{
    const auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second;
}

QWidget *createDefaultControl(const ControlTemplate &control, QWidget *parent)
{
    const ControlStyles styles = control.styles;
    switch (control.kind) {
    case ControlKind::Static: {
        auto *label = new QLabel(control.text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(!(styles & SingleLine));
        label->setAlignment(horizontalAlignment(styles) | Qt::AlignTop);
        return label;
    }
    case ControlKind::Icon: {
        auto *label = new QLabel(parent);
        label->setPixmap(QGuiApplication::windowIcon().pixmap(32, 32));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::Edit: {
        auto *edit = new QLineEdit(control.text, parent);
        edit->setReadOnly(styles & ReadOnly);
        edit->setAlignment(horizontalAlignment(styles) | Qt::AlignVCenter);
        if (styles & Password)
            edit->setEchoMode(QLineEdit::Password);
        if (styles & DigitsOnly)
            acceptDigitsOnly(*edit);
        return edit;
    }
    case ControlKind::PushButton: {
        auto *button = new QPushButton(control.text, parent);
        button->setDefault(styles & DefaultButton);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(control.text, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(control.text, parent);
    case ControlKind::ComboBox: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(!(styles & DropDownList));
        combo->setInsertPolicy(QComboBox::NoInsert);
        // What the user types is what the program reads: no inline completion.
        if (combo->isEditable())
            combo->setCompleter(nullptr);
        setSorted(*combo, styles & Sorted);
        if (combo->isEditable() && !control.text.isEmpty())
            combo->setEditText(control.text);
        return combo;
    }
    case ControlKind::ListBox: {
        auto *list = new QListWidget(parent);
        list->setSelectionMode((styles & MultipleSel) ? QAbstractItemView::MultiSelection
                                                      : QAbstractItemView::SingleSelection);
        setSorted(*list, styles & Sorted);
        return list;
    }
    case ControlKind::ReportList:
    case ControlKind::VirtualList:
        return createReportList(parent);
    case ControlKind::Browser: {
        auto *frame = new QFrame(parent);
        frame->setFrameShape(QFrame::StyledPanel);
        return frame;
    }
    }
    return new QWidget(parent);
}

BuiltDialog buildDialog(const DialogTemplate &tpl, QWidget &host, const ControlBindings &bound)
{
    BuiltDialog built;
    built.font = dialogFont(tpl.fontName, tpl.pointSize);
    built.units = DialogUnits::fromFont(built.font);
    built.clientSize = built.units.toPixels(tpl.size);

    host.setWindowFlags(windowFlags(tpl.styles));
    host.setWindowTitle(tpl.caption);
    host.setFont(built.font);
    if (tpl.styles & DlgResizable)
        host.resize(built.clientSize);
    else
        host.setFixedSize(built.clientSize);

    std::vector<QWidget *> groupBoxes;
    for (const ControlTemplate &control : tpl.controls) {
        QWidget *widget = nullptr;
        if (const auto it = bound.find(control.id);
            control.id != IDC_STATIC && it != bound.end() && it->second) {
            widget = it->second;
            widget->setParent(&host);
        } else {
            widget = createDefaultControl(control, &host);
        }
        widget->setProperty(ControlIdProperty, control.id);
        if (control.id != IDC_STATIC) {
            widget->setObjectName(QStringLiteral("control%1").arg(control.id));
            built.controls[control.id] = widget;
        }
        QRect rect = built.units.toPixels(control.rect);
        // A combo box's template height is that of its open list; the box keeps its own.
        if (control.kind == ControlKind::ComboBox)
            rect.setHeight(widget->sizeHint().height());
        if (control.kind == ControlKind::Static)
            rect = fittedLabel(rect, control, built.font);
        widget->setGeometry(rect);
        widget->setEnabled(!(control.styles & Disabled));
        widget->setVisible(!(control.styles & Hidden));
        if (control.kind == ControlKind::GroupBox)
            groupBoxes.push_back(widget);
    }
    for (QWidget *frame : groupBoxes)
        frame->lower();
    return built;
}

QWidget *findControl(const QWidget &root, int id)
{
    if (id == IDC_STATIC)
        return nullptr;
    const auto children = root.findChildren<QWidget *>();
    for (QWidget *child : children)
        if (controlId(child) == id)
            return child;
    return nullptr;
}

int controlId(const QWidget *widget)
{
    if (!widget)
        return IDC_STATIC;
    const QVariant id = widget->property(ControlIdProperty);
    return id.isValid() ? id.toInt() : IDC_STATIC;
}

} // namespace platform
