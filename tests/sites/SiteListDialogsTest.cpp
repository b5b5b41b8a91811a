#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "account/SiteLists.h"
#include "sites/SiteListDialogs.h"
#include "tests/support/AccountFiles.h"
#include "tests/support/TextFit.h"
#include "tests/support/RecordingServices.h"

using platform::MessageIcon;

namespace {

using Configs = std::vector<std::pair<QString, QString>>;

const QStringList kCatalogue{"站A", "站B", "站C"};

// weblist.txt as the program must write it: the mark, then the text in UTF-16LE.
QByteArray fileBytes(const QString &text)
{
    return TestSupport::kUtf16Mark + TestSupport::utf16le(text);
}

QListWidgetItem *itemNamed(QListWidget *list, const QString &text)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

// Selects exactly the named items of a list.
void selectOnly(QListWidget *list, const QStringList &texts)
{
    list->clearSelection();
    for (const QString &text : texts) {
        QListWidgetItem *item = itemNamed(list, text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        item->setSelected(true);
    }
}

} // namespace

// The account state with the catalogue 站A 站B 站C and baseDir in a directory
// of its own, and recording message boxes.
class SiteDialogTest : public TestSupport::AccountDirTest {
protected:
    void SetUp() override
    {
        AccountDirTest::SetUp();
        for (const QString &name : kCatalogue)
            state.sites.push_back(AdvertisingWebData{name, {}, {}, {}, {}});
    }

    QByteArray contents() const { return AccountDirTest::contents(QStringLiteral("weblist.txt")); }

    // The selection dialog shown on a value.
    std::unique_ptr<SelectAdvertisingWebDlg> openSelection(const QString &value)
    {
        auto dialog = std::make_unique<SelectAdvertisingWebDlg>(state);
        dialog->selectionValue = value;
        EXPECT_TRUE(dialog->Create());
        dialog->show();
        return dialog;
    }

    // The only message box shown so far: an information box with this text and caption.
    void expectOneNotice(const QString &text, const QString &caption) const
    {
        ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
        EXPECT_EQ(fakes.messageBox.shown[0].text, text);
        EXPECT_EQ(fakes.messageBox.shown[0].caption, caption);
        EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Information);
    }

    platform::RecordingServices fakes;
    platform::ServicesOverride fakesInstalled{fakes.services()};
};

// ---- the two lists, through the selection dialog ----------------------------

struct ListStep {
    enum Kind { Add, Remove, AddAll, RemoveAll, DoubleClickLeft, DoubleClickRight } kind;
    QStringList sites; // selected (Add, Remove) or focused (double-clicks)
};

struct ListCase {
    const char *name;
    QString start;
    std::vector<ListStep> steps;
    QStringList right;
    QString value;
};

class SiteListSteps : public SiteDialogTest, public ::testing::WithParamInterface<ListCase> {
protected:
    void run(SelectAdvertisingWebDlg &dialog, const ListStep &step)
    {
        QListWidget *list = step.kind == ListStep::Remove || step.kind == ListStep::DoubleClickRight
                                ? dialog.rightList()
                                : dialog.leftList();
        switch (step.kind) {
        case ListStep::Add:
            selectOnly(list, step.sites);
            dialog.sendCommand(SiteBoxesDlg::AddButton);
            break;
        case ListStep::Remove:
            selectOnly(list, step.sites);
            dialog.sendCommand(SiteBoxesDlg::RemoveButton);
            break;
        case ListStep::AddAll:
            dialog.sendCommand(SiteBoxesDlg::AddAllButton);
            break;
        case ListStep::RemoveAll:
            dialog.sendCommand(SiteBoxesDlg::RemoveAllButton);
            break;
        case ListStep::DoubleClickLeft:
            list->setCurrentItem(itemNamed(list, step.sites.front()), QItemSelectionModel::NoUpdate);
            dialog.OnLeftDoubleClick();
            break;
        case ListStep::DoubleClickRight:
            list->setCurrentItem(itemNamed(list, step.sites.front()), QItemSelectionModel::NoUpdate);
            dialog.OnRightDoubleClick();
            break;
        }
    }
};

TEST_P(SiteListSteps, RightListAndValueFollowTheCommands)
{
    const auto opened = openSelection(GetParam().start);
    SelectAdvertisingWebDlg &dialog = *opened;
    for (const ListStep &step : GetParam().steps)
        run(dialog, step);

    EXPECT_EQ(dialog.leftItems(), kCatalogue);
    EXPECT_EQ(dialog.rightItems(), GetParam().right);
    EXPECT_EQ(dialog.ComputeSiteListValue(), GetParam().value);
    EXPECT_EQ(dialog.selectionValue, GetParam().start) << "only OK takes the value";
    EXPECT_EQ(contents(), "<missing>") << "choosing sites writes no configuration";
}

using S = ListStep;

INSTANTIATE_TEST_SUITE_P(
    SiteLists, SiteListSteps,
    ::testing::Values(
        ListCase{"AllShowsEverySite", "1", {}, kCatalogue, "1"},
        ListCase{"EmptyShowsEverySite", "", {}, kCatalogue, "1"},
        ListCase{"SeparatorsOnlyShowEverySite", "~~", {}, kCatalogue, "1"},
        ListCase{"AddOnlyB", "", {{S::RemoveAll, {}}, {S::Add, {"站B"}}}, {"站B"}, "站B"},
        ListCase{"AddAll", "站B", {{S::AddAll, {}}}, kCatalogue, "1"},
        ListCase{"RemoveAllLeavesEmpty", "1", {{S::RemoveAll, {}}}, {}, ""},
        ListCase{"RemoveOne", "1", {{S::Remove, {"站B"}}}, {"站A", "站C"}, "站A~站C"},
        ListCase{"RemoveTwo", "1", {{S::Remove, {"站A", "站C"}}}, {"站B"}, "站B"},
        ListCase{"AddGoesToItsSortedPlace", "站C", {{S::Add, {"站A"}}}, {"站A", "站C"}, "站A~站C"},
        ListCase{
            "AddingAPresentSiteChangesNothing", "站B", {{S::Add, {"站B", "站C"}}}, {"站B", "站C"}, "站B~站C"},
        ListCase{"LongerNameMakesItsPrefixPresent", "站AB", {{S::Add, {"站A"}}}, {"站AB"}, "站AB"},
        ListCase{"UnknownSiteShownAndKept",
                 "站Z",
                 {{S::Add, {"站A", "站B"}}},
                 {"站A", "站B", "站Z"},
                 "站A~站B~站Z"},
        ListCase{"RemovingTheUnknownSite", "站Z~站A", {{S::Remove, {"站Z"}}}, {"站A"}, "站A"},
        // Every catalogue site present is every site, whatever else the right list holds.
        ListCase{
            "UnknownSiteBesideEveryCatalogueSite", "站Z~站C~站B~站A", {}, {"站A", "站B", "站C", "站Z"}, "1"},
        ListCase{"DoubleClickLeftAdds", "站A", {{S::DoubleClickLeft, {"站C"}}}, {"站A", "站C"}, "站A~站C"},
        ListCase{"DoubleClickLeftOnAPresentSite", "站A", {{S::DoubleClickLeft, {"站A"}}}, {"站A"}, "站A"},
        ListCase{
            "DoubleClickRightRemoves", "1", {{S::DoubleClickRight, {"站A"}}}, {"站B", "站C"}, "站B~站C"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SiteDialogTest, ClicksToggleTheSelectionAndDoubleClicksMoveSites)
{
    const auto opened = openSelection("站B");
    SelectAdvertisingWebDlg &dialog = *opened;
    QListWidget *left = dialog.leftList();
    const auto click = [](QListWidget *list, const QString &text) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(itemNamed(list, text)).center());
    };

    click(left, "站A");
    click(left, "站C");
    click(left, "站A");
    EXPECT_EQ(left->selectedItems(), QList<QListWidgetItem *>({itemNamed(left, "站C")}));
    QTest::mouseClick(dialog.control<QPushButton>(SiteBoxesDlg::AddButton), Qt::LeftButton);
    EXPECT_EQ(dialog.rightItems(), QStringList({"站B", "站C"}));
    EXPECT_TRUE(itemNamed(left, "站C")->isSelected()) << "adding keeps the left selection";

    // A double-click as the mouse makes it: a click, then the double-click.
    const auto doubleClick = [&](QListWidget *list, const QString &text) {
        click(list, text);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualItemRect(itemNamed(list, text)).center());
    };
    doubleClick(dialog.rightList(), "站B");
    EXPECT_EQ(dialog.rightItems(), QStringList({"站C"}));
    doubleClick(left, "站A");
    EXPECT_EQ(dialog.rightItems(), QStringList({"站A", "站C"}));
}

// ---- the selection dialog ----------------------------------------------------

TEST_F(SiteDialogTest, SelectionRefusesAnEmptyChoiceAndTakesTheValueOnOk)
{
    const auto opened = openSelection("站A");
    SelectAdvertisingWebDlg &dialog = *opened;

    dialog.sendCommand(SiteBoxesDlg::RemoveAllButton);
    QTest::mouseClick(dialog.control<QPushButton>(platform::IDOK), Qt::LeftButton);
    expectOneNotice("请至少选择一个发布站！", "温馨提示");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.selectionValue, "站A");

    selectOnly(dialog.leftList(), {"站A", "站B"});
    dialog.sendCommand(SiteBoxesDlg::AddButton);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), platform::IDOK);
    EXPECT_EQ(dialog.selectionValue, "站A~站B");
    EXPECT_EQ(fakes.messageBox.shown.size(), 1u);
}

TEST_F(SiteDialogTest, SelectionCancelKeepsTheValue)
{
    const auto opened = openSelection("站C");
    SelectAdvertisingWebDlg &dialog = *opened;
    dialog.sendCommand(SiteBoxesDlg::AddAllButton);
    QTest::mouseClick(dialog.control<QPushButton>(platform::IDCANCEL), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), platform::IDCANCEL);
    EXPECT_EQ(dialog.selectionValue, "站C");
}

// ---- the name dialog ---------------------------------------------------------

struct NameCase {
    const char *name;
    QString typed;
    QString refusal; // empty: accepted
};

class ConfigNameEntry : public SiteDialogTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ConfigNameEntry, RefusesWhatTheFileCannotHold)
{
    WebListConfigName dialog;
    ASSERT_TRUE(dialog.Create());
    dialog.show();
    EXPECT_EQ(dialog.itemText(WebListConfigName::NameEdit), "");
    dialog.control<QLineEdit>(WebListConfigName::NameEdit)->setText(GetParam().typed);
    QTest::mouseClick(dialog.control<QPushButton>(platform::IDOK), Qt::LeftButton);

    EXPECT_EQ(dialog.configName, GetParam().typed);
    if (GetParam().refusal.isEmpty()) {
        EXPECT_TRUE(fakes.messageBox.shown.empty());
        EXPECT_EQ(dialog.result(), platform::IDOK);
        EXPECT_FALSE(dialog.isVisible());
    } else {
        expectOneNotice(GetParam().refusal, "提示");
        EXPECT_TRUE(dialog.isVisible());
    }
}

const QString kNoName = QStringLiteral("请输入名字");
const QString kBadCharacter = QStringLiteral("名字不能包含“=”或“~”");

INSTANTIATE_TEST_SUITE_P(SiteLists, ConfigNameEntry,
                         ::testing::Values(NameCase{"Empty", "", kNoName}, NameCase{"Space", " ", ""},
                                           NameCase{"Chinese", "常用站", ""},
                                           NameCase{"Equals", "a=b", kBadCharacter},
                                           NameCase{"Tilde", "~", kBadCharacter}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the settings dialog -----------------------------------------------------

class SiteSettingTest : public SiteDialogTest {
protected:
    // Opens the dialog on these configurations; names are asked from `answers` in turn.
    void open(const Configs &configs, int index)
    {
        state.siteLists = configs;
        state.siteListIndex = index;
        dialog = std::make_unique<AdvertisingWebSettingDlg>(state);
        dialog->setNameAsker([this](QWidget *) {
            ++asked;
            std::optional<QString> answer = answers.empty() ? std::nullopt : answers.front();
            if (!answers.empty())
                answers.erase(answers.begin());
            return answer;
        });
        ASSERT_TRUE(dialog->Create());
        dialog->show();
    }
    QStringList comboItems() const
    {
        QStringList items;
        for (int i = 0; i < dialog->configCombo()->count(); ++i)
            items.append(dialog->configCombo()->itemText(i));
        return items;
    }
    void press(int id) { QTest::mouseClick(dialog->control<QPushButton>(id), Qt::LeftButton); }

    std::unique_ptr<AdvertisingWebSettingDlg> dialog;
    std::vector<std::optional<QString>> answers;
    int asked = 0;
};

const Configs kThree{{"一", "1"}, {"二", "站B"}, {"三", "站C~站A"}};

TEST_F(SiteSettingTest, TheConfigurationLabelShowsItsWholeText)
{
    open(kThree, 0);
    QLabel *label = nullptr;
    for (QLabel *candidate : dialog->findChildren<QLabel *>())
        if (candidate->text() == QStringLiteral("当前配置："))
            label = candidate;
    ASSERT_NE(label, nullptr);
    EXPECT_GE(TextFit::labelRoom(*label), 0) << label->font().family().toStdString();
}

TEST_F(SiteSettingTest, OpeningSelectsTheConfigurationInForceAndSaves)
{
    open(kThree, 1);
    EXPECT_EQ(comboItems(), QStringList({"一", "二", "三"}));
    EXPECT_EQ(dialog->configCombo()->currentIndex(), 1);
    EXPECT_EQ(state.siteListIndex, 1);
    EXPECT_EQ(state.siteListValue, "站B");
    EXPECT_EQ(dialog->leftItems(), kCatalogue);
    EXPECT_EQ(dialog->rightItems(), QStringList({"站B"}));
    EXPECT_EQ(contents(), fileBytes("1\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n"));
}

TEST_F(SiteSettingTest, OpeningWithoutASelectionOrBeyondTheLastTakesTheFirst)
{
    for (const int index : {-1, 3}) {
        open(kThree, index);
        EXPECT_EQ(dialog->configCombo()->currentIndex(), 0) << index;
        EXPECT_EQ(state.siteListIndex, 0) << index;
        EXPECT_EQ(dialog->rightItems(), kCatalogue) << index;
        EXPECT_EQ(contents(), fileBytes("0\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n")) << index;
    }
}

TEST_F(SiteSettingTest, OpeningWithoutConfigurationsShowsNothing)
{
    open({}, 0);
    EXPECT_EQ(dialog->configCombo()->count(), 0);
    EXPECT_EQ(state.siteListIndex, -1);
    EXPECT_TRUE(dialog->leftItems().isEmpty() && dialog->rightItems().isEmpty());
    EXPECT_EQ(contents(), "<missing>");
}

TEST_F(SiteSettingTest, ListEditsAreSavedToTheSelectedConfiguration)
{
    open(kThree, 2);
    selectOnly(dialog->rightList(), {"站A"});
    press(SiteBoxesDlg::RemoveButton);
    EXPECT_EQ(state.siteListValue, "站C");
    EXPECT_EQ(contents(), fileBytes("2\r\n一=1\r\n二=站B\r\n三=站C\r\n"));

    selectOnly(dialog->leftList(), {"站A", "站B"});
    press(SiteBoxesDlg::AddButton);
    EXPECT_EQ(state.siteListValue, "1");
    EXPECT_EQ(contents(), fileBytes("2\r\n一=1\r\n二=站B\r\n三=1\r\n"));

    press(SiteBoxesDlg::RemoveAllButton);
    EXPECT_EQ(state.siteListValue, "");
    EXPECT_EQ(contents(), fileBytes("2\r\n一=1\r\n二=站B\r\n三=\r\n"));

    // Add and remove with nothing selected change nothing and write nothing.
    ASSERT_TRUE(QFile::remove(path("weblist.txt")));
    dialog->leftList()->clearSelection();
    press(SiteBoxesDlg::AddButton);
    press(SiteBoxesDlg::RemoveButton);
    EXPECT_EQ(contents(), "<missing>");

    // Escape closes; the empty value comes back as every site.
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    open(state.siteLists, state.siteListIndex);
    EXPECT_EQ(dialog->rightItems(), kCatalogue);
    EXPECT_EQ(state.siteListValue, "");
    EXPECT_EQ(contents(), fileBytes("2\r\n一=1\r\n二=站B\r\n三=\r\n"));
}

TEST_F(SiteSettingTest, ChoosingAnotherConfigurationPutsItInForce)
{
    open(kThree, 0);
    dialog->configCombo()->setFocus();
    QTest::keyClick(dialog->configCombo(), Qt::Key_Down);
    EXPECT_EQ(state.siteListIndex, 1);
    EXPECT_EQ(state.siteListValue, "站B");
    EXPECT_EQ(dialog->rightItems(), QStringList({"站B"}));
    EXPECT_EQ(contents(), fileBytes("1\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n"));

    QTest::keyClick(dialog->configCombo(), Qt::Key_Down);
    EXPECT_EQ(state.siteListIndex, 2);
    EXPECT_EQ(dialog->rightItems(), QStringList({"站A", "站C"}));
    EXPECT_EQ(contents(), fileBytes("2\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n"));
}

TEST_F(SiteSettingTest, NewAppendsAConfigurationOfEverySiteAndSelectsIt)
{
    open(kThree, 1);
    answers = {std::nullopt, QString("二"), QString("新")};
    press(AdvertisingWebSettingDlg::NewButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(state.siteLists, kThree) << "a cancelled name changes nothing";

    press(AdvertisingWebSettingDlg::NewButton);
    press(AdvertisingWebSettingDlg::NewButton);
    EXPECT_EQ(comboItems(), QStringList({"一", "二", "三", "二", "新"}));
    EXPECT_EQ(dialog->configCombo()->currentIndex(), 4);
    EXPECT_EQ(state.siteListIndex, 4);
    EXPECT_EQ(state.siteListValue, "1");
    EXPECT_EQ(dialog->rightItems(), kCatalogue);
    EXPECT_EQ(contents(), fileBytes("4\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n二=1\r\n新=1\r\n"));

    selectOnly(dialog->rightList(), {"站C"});
    press(SiteBoxesDlg::RemoveButton);
    EXPECT_EQ(contents(), fileBytes("4\r\n一=1\r\n二=站B\r\n三=站C~站A\r\n二=1\r\n新=站A~站B\r\n"));
}

TEST_F(SiteSettingTest, RenameChangesOnlyTheName)
{
    open(kThree, 1);
    answers = {std::nullopt, QString("改")};
    press(AdvertisingWebSettingDlg::RenameButton);
    EXPECT_EQ(comboItems(), QStringList({"一", "二", "三"}));

    press(AdvertisingWebSettingDlg::RenameButton);
    EXPECT_EQ(comboItems(), QStringList({"一", "改", "三"}));
    EXPECT_EQ(dialog->configCombo()->currentIndex(), 1);
    EXPECT_EQ(state.siteListValue, "站B");
    EXPECT_EQ(dialog->rightItems(), QStringList({"站B"}));
    EXPECT_EQ(contents(), fileBytes("1\r\n一=1\r\n改=站B\r\n三=站C~站A\r\n"));
}

TEST_F(SiteSettingTest, DeleteHandsOverToANeighbourSoLaterEditsAreKept)
{
    open(kThree, 1);
    press(AdvertisingWebSettingDlg::DeleteButton);
    EXPECT_TRUE(fakes.messageBox.shown.empty()) << "deleting asks nothing";
    EXPECT_EQ(comboItems(), QStringList({"一", "三"}));
    EXPECT_EQ(dialog->configCombo()->currentIndex(), 0);
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_EQ(state.siteListValue, "1");
    EXPECT_EQ(dialog->rightItems(), kCatalogue);
    EXPECT_EQ(contents(), fileBytes("0\r\n一=1\r\n三=站C~站A\r\n"));

    selectOnly(dialog->rightList(), {"站A"});
    press(SiteBoxesDlg::RemoveButton);
    EXPECT_EQ(contents(), fileBytes("0\r\n一=站B~站C\r\n三=站C~站A\r\n"));

    // Deleting the first hands over to the one that takes its place.
    press(AdvertisingWebSettingDlg::DeleteButton);
    EXPECT_EQ(comboItems(), QStringList({"三"}));
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_EQ(state.siteListValue, "站C~站A");
    EXPECT_EQ(dialog->rightItems(), QStringList({"站A", "站C"}));
    EXPECT_EQ(contents(), fileBytes("0\r\n三=站C~站A\r\n"));
}

TEST_F(SiteSettingTest, DeletingTheLastConfigurationLeavesNoneSelected)
{
    open({{"一", "站B"}}, 0);
    press(AdvertisingWebSettingDlg::DeleteButton);
    EXPECT_EQ(dialog->configCombo()->count(), 0);
    EXPECT_EQ(state.siteListIndex, -1);
    EXPECT_EQ(state.siteListValue, "1");
    EXPECT_TRUE(dialog->rightItems().isEmpty());
    EXPECT_EQ(contents(), fileBytes("-1\r\n"));

    // With nothing selected there is nothing to delete, rename or save to.
    answers = {QString("名")};
    press(AdvertisingWebSettingDlg::RenameButton);
    press(AdvertisingWebSettingDlg::DeleteButton);
    press(SiteBoxesDlg::AddAllButton);
    EXPECT_TRUE(state.siteLists.empty());
    EXPECT_EQ(contents(), fileBytes("-1\r\n"));

    // A new configuration is selected and saved as the only one.
    answers = {QString("新")};
    press(AdvertisingWebSettingDlg::NewButton);
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_EQ(dialog->rightItems(), kCatalogue);
    EXPECT_EQ(contents(), fileBytes("0\r\n新=1\r\n"));
}
