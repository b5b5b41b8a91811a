#include "platform/DialogWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace platform {

DialogWindow::DialogWindow(const DialogTemplate &tpl, QWidget *parent) : QDialog(parent), tpl(tpl)
{
    setModal(false);
}

void DialogWindow::bindControl(int id, QWidget &widget)
{
    Q_ASSERT(!created);
    bindings[id] = &widget;
}

bool DialogWindow::Create()
{
    if (created)
        return !endedDuringCreate;
    created = true;
    built = buildDialog(tpl, *this, bindings);
    for (const auto &[id, widget] : built.controls) {
        widget->installEventFilter(this);
        const auto bound = bindings.find(id);
        if (bound != bindings.end() && bound->second == widget)
            continue;
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            connect(button, &QAbstractButton::clicked, this, [this, id = id] { OnCommand(id); });
    }
    initialising = true;
    OnInitDialog();
    initialising = false;
    return !endedDuringCreate;
}

int DialogWindow::DoModal()
{
    if (!Create())
        return *endedDuringCreate;
    return exec();
}

void DialogWindow::EndDialog(int result)
{
    if (initialising)
        endedDuringCreate = result;
    done(result);
}

void DialogWindow::OnCommand(int id)
{
    if (id == IDOK)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

int DialogWindow::defaultCommand() const
{
    for (const ControlTemplate &c : tpl.controls)
        if (c.kind == ControlKind::PushButton && (c.styles & DefaultButton) && c.id != IDC_STATIC)
            return c.id;
    return IDOK;
}

QString DialogWindow::itemText(int id) const
{
    QWidget *widget = item(id);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        return group->title();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentText();
    return widget ? widget->windowTitle() : QString();
}

void DialogWindow::setItemText(int id, const QString &text)
{
    QWidget *widget = item(id);
    if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        edit->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(widget))
        group->setTitle(text);
    else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        if (combo->isEditable())
            combo->setEditText(text);
        else
            combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
    } else if (widget)
        widget->setWindowTitle(text);
}

void DialogWindow::keyPressEvent(QKeyEvent *event)
{
    const bool plain = !(event->modifiers() & ~Qt::KeypadModifier);
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        // A focused push button takes Enter itself; anywhere else it means the default button.
        OnCommand(defaultCommand());
        event->accept();
        return;
    }
    if (plain && event->key() == Qt::Key_Escape) {
        OnCommand(IDCANCEL);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool DialogWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        const int id = controlId(qobject_cast<QWidget *>(watched));
        if (id != IDC_STATIC)
            OnKillFocus(id);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace platform
