#pragma once

#include <functional>
#include <optional>

#include <QStringList>

#include "account/AccountState.h"
#include "platform/DialogWindow.h"

class QComboBox;
class QListWidget;

// The two site lists of a dialog (catalogue sites on the left, chosen sites
// on the right) with the four buttons between them and the double-clicks.
// Both lists are sorted multiple-selection list boxes; a site counts as
// present on the right by the list box's prefix search (see isListed).
class SiteBoxesDlg : public platform::DialogWindow {
    Q_OBJECT
public:
    enum Control {
        LeftList = 1019,
        RightList = 1025,
        AddButton = 1024,
        RemoveButton = 1021,
        AddAllButton = 1023,
        RemoveAllButton = 1022,
    };

    SiteBoxesDlg(int templateId, AccountState &state, QWidget *parent);

    // Empties both lists and shows the value: the catalogue on the left, the
    // value's sites (every site for "1" or a value naming none) on the right.
    void FillSiteBoxes(const QString &value);
    // The value the lists stand for now.
    QString ComputeSiteListValue() const;

    QListWidget *leftList() const;
    QListWidget *rightList() const;
    QStringList leftItems() const;
    QStringList rightItems() const;

    // The list commands; each returns whether it changed the lists.
    bool OnAdd();
    bool OnRemove();
    bool OnAddAll();
    bool OnRemoveAll();
    bool OnLeftDoubleClick();
    bool OnRightDoubleClick();

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    // After every change of the lists by the user.
    virtual void OnSiteListsChanged() {}

    AccountState &state;

private:
    bool addUnlessPresent(const QString &site);
    void listsChanged(bool changed);
};

// Asks for the name of a site-list configuration. Refuses an empty name and
// one with '=' or '~', which the configuration file cannot hold.
class WebListConfigName : public platform::DialogWindow {
    Q_OBJECT
public:
    enum Control { NameEdit = 1030 };

    explicit WebListConfigName(QWidget *parent = nullptr);

    QString configName;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
};

// Chooses sites for a search or a monitored address. selectionValue is the
// value shown at the start and, after OK, the value chosen.
class SelectAdvertisingWebDlg : public SiteBoxesDlg {
    Q_OBJECT
public:
    explicit SelectAdvertisingWebDlg(AccountState &state, QWidget *parent = nullptr);

    QString selectionValue;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
};

// "发布站设置": creates, renames, deletes and edits the site-list
// configurations of the account state. Every change is written to
// weblist.txt at once, so Enter and Escape only close.
class AdvertisingWebSettingDlg : public SiteBoxesDlg {
    Q_OBJECT
public:
    enum Control { ConfigCombo = 1028, NewButton = 1029, RenameButton = 1027, DeleteButton = 1030 };
    // Asks for a configuration name; nullopt when the user cancelled.
    using NameAsker = std::function<std::optional<QString>(QWidget *parent)>;

    explicit AdvertisingWebSettingDlg(AccountState &state, QWidget *parent = nullptr);

    // Replaces the name dialog (WebListConfigName by default).
    void setNameAsker(NameAsker replacement) { askName = std::move(replacement); }

    QComboBox *configCombo() const;

    // Makes the combo's selection the configuration in force, when it is
    // another one than siteListIndex.
    void SelectSiteList();
    void OnNew();
    void OnRename();
    void OnDelete();

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void OnSiteListsChanged() override;

private:
    // The combo's selection when it names a configuration, otherwise nullopt.
    std::optional<size_t> selectedConfig() const;

    NameAsker askName;
};
