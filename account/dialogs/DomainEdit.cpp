#include "account/dialogs/DomainEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

#include "account/AccountState.h"
#include "account/DomainEditing.h"
#include "platform/ControlHelpers.h"
#include "res/Resources.h"
#include "webproto/WebProtocol.h"

CDomainEdit::CDomainEdit(QWidget *parent) : DialogWindow(res::dialog(res::DomainEditDialog), parent)
{
}

bool CDomainEdit::OnInitDialog()
{
    if (auto *combo = control<QComboBox>(RemindCombo)) {
        for (const QString &text : remindTypeTexts())
            platform::AddString(*combo, text);
    }
    // As long as the service stores; a longer text stored earlier still shows
    // whole, and the checks ask for it to be shortened.
    if (auto *address = control<QLineEdit>(AddressEdit))
        address->setMaxLength(std::max<int>(WebProtocol::kMaxAddressChars, values.url.size()));
    if (auto *remark = control<QLineEdit>(RemarkEdit))
        remark->setMaxLength(std::max<int>(WebProtocol::kMaxRemarkChars, values.remark.size()));
    putTexts();
    if (auto *check = control<QCheckBox>(JinminhouCheck))
        check->setChecked(values.jinminhou == 1);
    // The dialog keeps the focus itself: the address box must not start with
    // it, or its first loss would already rewrite the address.
    setFocus();
    return false;
}

void CDomainEdit::OnCommand(int id)
{
    switch (id) {
    case JinminhouCheck:
        jinminhouClicked();
        break;
    case SitesButton:
        chooseSites();
        break;
    default:
        DialogWindow::OnCommand(id);
    }
}

void CDomainEdit::takeTexts()
{
    values.url = itemText(AddressEdit);
    values.remark = itemText(RemarkEdit);
    values.remindText = itemText(RemindCombo);
    values.mailbox = itemText(MailboxEdit);
}

void CDomainEdit::putTexts()
{
    setItemText(AddressEdit, values.url);
    setItemText(RemarkEdit, values.remark);
    setItemText(RemindCombo, values.remindText);
    setItemText(MailboxEdit, values.mailbox);
}

void CDomainEdit::OnKillFocus(int id)
{
    if (id != AddressEdit)
        return;
    takeTexts();
    if (values.url.isEmpty()) {
        setItemText(AddressEdit, kDomainAddressHint);
        takeTexts();
    }
}

void CDomainEdit::jinminhouClicked()
{
    takeTexts();
    const auto *check = control<QCheckBox>(JinminhouCheck);
    values.jinminhou = check && check->isChecked() ? 1 : 0;
}

void CDomainEdit::chooseSites()
{
    if (!siteChooser)
        return;
    QString value = values.publishing;
    if (siteChooser(this, value))
        values.publishing = value;
}

void CDomainEdit::showError(const QString &text)
{
    platform::showMessageBox(services(), this, text, QStringLiteral("错误"), platform::MessageIcon::Stop);
}

void CDomainEdit::OnOK()
{
    takeTexts();
    const DomainEditCheck check = checkDomainEdit(values.url, values.remindText, values.remark);
    if (!check.accepted()) {
        showError(check.error);
        return;
    }
    values.url = check.url;
    putTexts();
    EndDialog(platform::IDOK);
    takeTexts();
}
