#include "sites/SiteListDialogs.h"

#include <QComboBox>
#include <QListWidget>

#include "account/SiteLists.h"
#include "platform/ControlHelpers.h"
#include "res/Resources.h"

namespace {

QStringList itemTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; list && i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

void showNotice(const platform::Services &services, QWidget *parent, const QString &text,
                const QString &caption)
{
    platform::showMessageBox(services, parent, text, caption, platform::MessageIcon::Information);
}

} // namespace

// ---- the two lists -------------------------------------------------------

SiteBoxesDlg::SiteBoxesDlg(int templateId, AccountState &state, QWidget *parent)
    : DialogWindow(res::dialog(templateId), parent), state(state)
{
}

QListWidget *SiteBoxesDlg::leftList() const
{
    return control<QListWidget>(LeftList);
}

QListWidget *SiteBoxesDlg::rightList() const
{
    return control<QListWidget>(RightList);
}

QStringList SiteBoxesDlg::leftItems() const
{
    return itemTexts(leftList());
}

QStringList SiteBoxesDlg::rightItems() const
{
    return itemTexts(rightList());
}

bool SiteBoxesDlg::OnInitDialog()
{
    connect(leftList(), &QListWidget::itemDoubleClicked, this, [this] { listsChanged(OnLeftDoubleClick()); });
    connect(rightList(), &QListWidget::itemDoubleClicked, this,
            [this] { listsChanged(OnRightDoubleClick()); });
    return true;
}

void SiteBoxesDlg::OnCommand(int id)
{
    switch (id) {
    case AddButton:
        listsChanged(OnAdd());
        break;
    case RemoveButton:
        listsChanged(OnRemove());
        break;
    case AddAllButton:
        listsChanged(OnAddAll());
        break;
    case RemoveAllButton:
        listsChanged(OnRemoveAll());
        break;
    default:
        DialogWindow::OnCommand(id);
    }
}

void SiteBoxesDlg::listsChanged(bool changed)
{
    if (changed)
        OnSiteListsChanged();
}

void SiteBoxesDlg::FillSiteBoxes(const QString &value)
{
    leftList()->clear();
    rightList()->clear();
    const SiteBoxContents boxes = siteBoxContents(value, state.sites);
    for (const QString &site : boxes.right)
        platform::AddString(*rightList(), site);
    for (const QString &site : boxes.left)
        platform::AddString(*leftList(), site);
}

QString SiteBoxesDlg::ComputeSiteListValue() const
{
    return ::ComputeSiteListValue(leftItems(), rightItems());
}

bool SiteBoxesDlg::addUnlessPresent(const QString &site)
{
    if (platform::findStringPrefix(*rightList(), site) >= 0)
        return false;
    platform::AddString(*rightList(), site);
    return true;
}

bool SiteBoxesDlg::OnAdd()
{
    bool anySelected = false;
    for (int i = 0; i < leftList()->count(); ++i) {
        if (leftList()->item(i)->isSelected()) {
            anySelected = true;
            addUnlessPresent(leftList()->item(i)->text());
        }
    }
    return anySelected;
}

bool SiteBoxesDlg::OnRemove()
{
    bool removed = false;
    for (int i = rightList()->count() - 1; i >= 0; --i) {
        if (rightList()->item(i)->isSelected()) {
            delete rightList()->takeItem(i);
            removed = true;
        }
    }
    return removed;
}

bool SiteBoxesDlg::OnAddAll()
{
    rightList()->clear();
    for (const QString &site : leftItems())
        platform::AddString(*rightList(), site);
    return true;
}

bool SiteBoxesDlg::OnRemoveAll()
{
    rightList()->clear();
    return true;
}

bool SiteBoxesDlg::OnLeftDoubleClick()
{
    const QListWidgetItem *focused = leftList()->currentItem();
    return focused && addUnlessPresent(focused->text());
}

bool SiteBoxesDlg::OnRightDoubleClick()
{
    QListWidgetItem *focused = rightList()->currentItem();
    if (!focused)
        return false;
    delete rightList()->takeItem(rightList()->row(focused));
    return true;
}

// ---- the configuration name ----------------------------------------------

WebListConfigName::WebListConfigName(QWidget *parent)
    : DialogWindow(res::dialog(res::ConfigNameDialog), parent)
{
}

bool WebListConfigName::OnInitDialog()
{
    setItemText(NameEdit, configName);
    return true;
}

void WebListConfigName::OnOK()
{
    configName = itemText(NameEdit);
    if (configName.isEmpty()) {
        showNotice(services(), this, QStringLiteral("请输入名字"), QStringLiteral("提示"));
        return;
    }
    // weblist.txt splits a line at its first '=' and a value at every '~'.
    if (configName.contains(QLatin1Char('=')) || configName.contains(QLatin1Char('~'))) {
        showNotice(services(), this, QStringLiteral("名字不能包含“=”或“~”"), QStringLiteral("提示"));
        return;
    }
    EndDialog(platform::IDOK);
}

// ---- choosing sites --------------------------------------------------------

SelectAdvertisingWebDlg::SelectAdvertisingWebDlg(AccountState &state, QWidget *parent)
    : SiteBoxesDlg(res::SelectSitesDialog, state, parent)
{
}

bool SelectAdvertisingWebDlg::OnInitDialog()
{
    SiteBoxesDlg::OnInitDialog();
    FillSiteBoxes(selectionValue);
    return true;
}

void SelectAdvertisingWebDlg::OnOK()
{
    if (rightList()->count() == 0) {
        showNotice(services(), this, QStringLiteral("请至少选择一个发布站！"), QStringLiteral("温馨提示"));
        return;
    }
    selectionValue = ComputeSiteListValue();
    EndDialog(platform::IDOK);
}

// ---- the configurations ----------------------------------------------------

AdvertisingWebSettingDlg::AdvertisingWebSettingDlg(AccountState &state, QWidget *parent)
    : SiteBoxesDlg(res::SiteSettingDialog, state, parent),
      askName([this](QWidget *owner) -> std::optional<QString> {
          WebListConfigName dialog(owner);
          dialog.setServices(services());
          if (dialog.DoModal() != platform::IDOK)
              return std::nullopt;
          return dialog.configName;
      })
{
}

QComboBox *AdvertisingWebSettingDlg::configCombo() const
{
    return control<QComboBox>(ConfigCombo);
}

std::optional<size_t> AdvertisingWebSettingDlg::selectedConfig() const
{
    const int index = configCombo()->currentIndex();
    if (index < 0 || size_t(index) >= state.siteLists.size())
        return std::nullopt;
    return size_t(index);
}

bool AdvertisingWebSettingDlg::OnInitDialog()
{
    SiteBoxesDlg::OnInitDialog();
    // Only the user's choice counts: the combo's own changes while it is
    // filled or an item is removed are no choice.
    connect(configCombo(), &QComboBox::activated, this, [this] { SelectSiteList(); });

    const int remembered = state.siteListIndex;
    state.siteListIndex = -1;
    for (const auto &[name, value] : state.siteLists)
        platform::AddString(*configCombo(), name);
    if (state.siteLists.empty())
        return true;
    // Nothing selected, or an index that names no configuration: the first.
    const bool valid = remembered >= 0 && size_t(remembered) < state.siteLists.size();
    configCombo()->setCurrentIndex(valid ? remembered : 0);
    SelectSiteList();
    return true;
}

void AdvertisingWebSettingDlg::OnCommand(int id)
{
    switch (id) {
    case NewButton:
        OnNew();
        break;
    case RenameButton:
        OnRename();
        break;
    case DeleteButton:
        OnDelete();
        break;
    default:
        SiteBoxesDlg::OnCommand(id);
    }
}

void AdvertisingWebSettingDlg::SelectSiteList()
{
    const std::optional<size_t> index = selectedConfig();
    if (!index || int(*index) == state.siteListIndex)
        return;
    state.siteListValue = state.siteLists[*index].second;
    state.siteListIndex = int(*index);
    FillSiteBoxes(state.siteListValue);
    SaveSiteLists(state);
}

void AdvertisingWebSettingDlg::OnSiteListsChanged()
{
    state.siteListValue = ComputeSiteListValue();
    if (const std::optional<size_t> index = selectedConfig()) {
        state.siteLists[*index].second = state.siteListValue;
        SaveSiteLists(state);
    }
}

void AdvertisingWebSettingDlg::OnNew()
{
    const std::optional<QString> name = askName(this);
    if (!name)
        return;
    state.siteLists.emplace_back(*name, kAllSites);
    configCombo()->setCurrentIndex(platform::AddString(*configCombo(), *name));
    state.siteListIndex = -1;
    SelectSiteList();
    state.siteListValue = kAllSites;
    SaveSiteLists(state);
}

void AdvertisingWebSettingDlg::OnRename()
{
    const std::optional<QString> name = askName(this);
    if (!name)
        return;
    const std::optional<size_t> index = selectedConfig();
    if (!index)
        return;
    state.siteLists[*index].first = *name;
    configCombo()->setItemText(int(*index), *name);
    configCombo()->setCurrentIndex(int(*index));
    FillSiteBoxes(state.siteListValue);
    state.siteListValue = state.siteLists[*index].second;
    SaveSiteLists(state);
}

void AdvertisingWebSettingDlg::OnDelete()
{
    const std::optional<size_t> index = selectedConfig();
    if (!index)
        return;
    state.siteLists.erase(state.siteLists.begin() + qsizetype(*index));
    configCombo()->removeItem(int(*index));
    state.siteListIndex = -1;
    if (!state.siteLists.empty()) {
        // Another configuration takes over, so that later edits of the lists
        // are kept in one.
        configCombo()->setCurrentIndex(*index > 0 ? int(*index) - 1 : 0);
        SelectSiteList();
    } else {
        state.siteListValue = kAllSites;
        leftList()->clear();
        rightList()->clear();
    }
    SaveSiteLists(state);
}
