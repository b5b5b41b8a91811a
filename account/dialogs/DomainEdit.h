#pragma once

#include <functional>

#include <QString>

#include "platform/DialogWindow.h"

// The values of one monitored address as the address dialog edits them.
struct DomainEditValues {
    QString url;
    QString remark;
    QString remindText; // the reminder's text ("都提醒"), not its code
    QString mailbox;
    QString publishing = QStringLiteral("1"); // site-list value: "1" or site names joined with '~'
    int jinminhou = 1;
};

// What the address box holds until the user types an address.
inline const QString kDomainAddressHint = QStringLiteral("上广告用的什么网址,这里就填什么网址,要完全一样。");

// Enters or changes one monitored address. It only edits `values`: the caller
// presets them, runs the dialog and, after OK, sends what it reads back.
// Escape and the close box cancel.
class CDomainEdit : public platform::DialogWindow {
    Q_OBJECT
public:
    enum Control {
        AddressEdit = 1004,
        RemarkEdit = 1005,
        RemindCombo = 1006,
        MailboxEdit = 1011,
        JinminhouCheck = 1014,
        SitesButton = 1026,
    };
    // Lets the user pick the publishing sites; value is the site-list value
    // going in and the choice coming out. False: cancelled, value untouched.
    using SiteChooser = std::function<bool(QWidget *parent, QString &value)>;

    explicit CDomainEdit(QWidget *parent = nullptr);

    // Without a chooser the sites button does nothing.
    void setSiteChooser(SiteChooser chooser) { siteChooser = std::move(chooser); }

    DomainEditValues values;

    void chooseSites();
    void jinminhouClicked();

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnOK() override;
    void OnKillFocus(int id) override;

private:
    // The controls' texts into the members (the check box stays apart).
    void takeTexts();
    void putTexts();
    void showError(const QString &text);

    SiteChooser siteChooser;
};
