#pragma once

#include <optional>

#include <QDialog>

#include "platform/DialogBuilder.h"
#include "platform/ResourceTypes.h"
#include "platform/Services.h"

namespace platform {

// A window built from a dialog template, with commands routed by control id:
// a click on a button or check box calls OnCommand(id); Enter sends the default button's
// id (IDOK when the template has none), Escape and the close box send IDCANCEL; IDOK and
// IDCANCEL end the dialog through OnOK/OnCancel unless a subclass decides otherwise.
//
// Use: construct, bind the controls of your own classes, set members, then DoModal() or
// Create() + show(). OnInitDialog runs once the controls exist.
class DialogWindow : public QDialog {
    Q_OBJECT
public:
    explicit DialogWindow(const DialogTemplate &tpl, QWidget *parent = nullptr);

    // Builds the controls once and runs OnInitDialog; false when OnInitDialog ended the dialog.
    bool Create();
    bool isCreated() const { return created; }
    // Runs the dialog modally; returns the code given to EndDialog (IDOK, IDCANCEL, ...).
    int DoModal();
    void EndDialog(int result);

    // Sends a command as a button or menu would.
    void sendCommand(int id) { OnCommand(id); }

    const DialogTemplate &dialogTemplate() const { return tpl; }
    const DialogUnits &units() const { return built.units; }
    QWidget *item(int id) const { return built.item(id); }
    template <class T> T *control(int id) const { return qobject_cast<T *>(item(id)); }
    // Text of a label, edit, button, group box or combo box (its current text).
    QString itemText(int id) const;
    void setItemText(int id, const QString &text);
    // Id of the default push button, IDOK when there is none.
    int defaultCommand() const;

    // The platform services this window uses; unset members come from currentServices().
    void setServices(const Services &replacement) { ownServices = replacement; }
    Services services() const { return ownServices.mergedWith(currentServices()); }

protected:
    // Before Create(): the window's own widget for a control id, placed where the template says.
    void bindControl(int id, QWidget &widget);

    virtual bool OnInitDialog() { return true; }
    virtual void OnCommand(int id);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // A control with an id lost the keyboard focus.
    virtual void OnKillFocus(int /*id*/) {}

    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

public slots:
    void accept() override { OnCommand(IDOK); }
    void reject() override { OnCommand(IDCANCEL); }

private:
    DialogTemplate tpl;
    ControlBindings bindings;
    BuiltDialog built;
    Services ownServices;
    bool created = false;
    bool initialising = false;
    std::optional<int> endedDuringCreate;
};

} // namespace platform
