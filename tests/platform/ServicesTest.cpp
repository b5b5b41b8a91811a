#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "platform/MenuBuilder.h"
#include "tests/support/RecordingServices.h"
#include "platform/Services.h"
#include "platform/Tray.h"
#include "tests/support/WaitUntil.h"

using namespace platform;

TEST(ServicesTest, OverridesReplaceOnlyWhatTheyNameAndNestAndRestore)
{
    const Services original = currentServices();
    RecordingServices outer;
    RecordingShell innerShell;
    {
        ServicesOverride first(outer.services());
        EXPECT_EQ(currentServices().clipboard, &outer.clipboard);
        {
            ServicesOverride second(Services{nullptr, &innerShell});
            EXPECT_EQ(currentServices().shell, &innerShell);
            EXPECT_EQ(currentServices().clipboard, &outer.clipboard) << "unnamed services stay";
        }
        EXPECT_EQ(currentServices().shell, &outer.shell);
    }
    EXPECT_EQ(currentServices().shell, original.shell);
    EXPECT_EQ(currentServices().messageBox, original.messageBox);
}

TEST(ServicesTest, ShellOpenStartsNothingForRefusedTexts)
{
    RecordingServices fake;
    ServicesOverride installed(fake.services());
    EXPECT_FALSE(shellOpen(QStringLiteral("file:///etc/passwd")));
    EXPECT_FALSE(shellOpen(QStringLiteral("javascript:alert(1)")));
    EXPECT_FALSE(shellOpen(QString()));
    EXPECT_TRUE(fake.shell.opened.empty());

    EXPECT_TRUE(shellOpen(QStringLiteral("www.example.com;b.example.com")));
    ASSERT_EQ(fake.shell.opened.size(), 1u);
    EXPECT_EQ(fake.shell.opened[0], QUrl(QStringLiteral("http://www.example.com")));

    fake.shell.succeeds = false;
    EXPECT_FALSE(shellOpen(QStringLiteral("https://example.com")));
}

TEST(ServicesTest, MessageBoxRequestsAreRecordedAndAnsweredInTurn)
{
    RecordingServices fake;
    fake.messageBox.answers = {IDCANCEL, IDOK};
    const Services services = fake.services();
    EXPECT_EQ(showMessageBox(services, nullptr, QStringLiteral("确认要删除此域名么？"),
                             QStringLiteral("提示"), MessageIcon::Exclamation, MessageButtons::OkCancel),
              IDCANCEL);
    EXPECT_EQ(
        showMessageBox(services, nullptr, QStringLiteral("b"), QStringLiteral("错误"), MessageIcon::Stop),
        IDOK);
    EXPECT_EQ(showMessageBox(services, nullptr, QStringLiteral("c"), QStringLiteral("提示")), IDOK)
        << "default answer once the queue is empty";
    ASSERT_EQ(fake.messageBox.shown.size(), 3u);
    EXPECT_EQ(fake.messageBox.shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(fake.messageBox.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(fake.messageBox.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(fake.messageBox.shown[1].icon, MessageIcon::Stop);
}

TEST(ServicesTest, ClipboardThatCannotBeTakenKeepsItsText)
{
    RecordingServices fake;
    fake.clipboard.content = QStringLiteral("before");
    fake.clipboard.available = false;
    EXPECT_FALSE(setClipboardText(fake.services(), QStringLiteral("after")));
    EXPECT_EQ(fake.clipboard.text(), QStringLiteral("before"));
    fake.clipboard.available = true;
    EXPECT_TRUE(setClipboardText(fake.services(), QStringLiteral("after")));
    EXPECT_EQ(fake.clipboard.text(), QStringLiteral("after"));
}

TEST(ServicesTest, QtClipboardRoundTrips)
{
    QtClipboard clipboard;
    ASSERT_TRUE(clipboard.setText(QStringLiteral("客服QQ\t12345")));
    EXPECT_EQ(clipboard.text(), QStringLiteral("客服QQ\t12345"));
}

TEST(ServicesTest, PostedCallsRunOnTheGuiThreadAndDieWithTheirContext)
{
    QtGuiPoster poster;
    QObject context;
    QThread *ranOn = nullptr;
    std::unique_ptr<QThread> worker(
        QThread::create([&] { poster.post(&context, [&] { ranOn = QThread::currentThread(); }); }));
    worker->start();
    ASSERT_TRUE(worker->wait(5000));
    ASSERT_TRUE(WaitUntil([&] { return ranOn != nullptr; }));
    EXPECT_EQ(ranOn, QThread::currentThread());

    bool ran = false;
    auto doomed = std::make_unique<QObject>();
    poster.post(doomed.get(), [&] { ran = true; });
    doomed.reset();
    bool marker = false;
    poster.post(nullptr, [&] { marker = true; });
    ASSERT_TRUE(WaitUntil([&] { return marker; }));
    EXPECT_FALSE(ran);
}

TEST(ServicesTest, ManualPosterRunsOnlyWhenAskedAndSkipsDeadContexts)
{
    ManualPoster poster;
    int runs = 0;
    auto context = std::make_unique<QObject>();
    poster.post(context.get(), [&] { ++runs; });
    poster.post(nullptr, [&] { ++runs; });
    EXPECT_EQ(runs, 0);
    context.reset();
    EXPECT_EQ(poster.runPending(), 1);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(poster.runPending(), 0);
}

TEST(ServicesTest, RecordingMenuSeesTheCommandsAndAnswersTheChoice)
{
    const MenuTemplate tpl{7,
                           {MenuItem{0,
                                     QStringLiteral("x"),
                                     {MenuItem{11, QStringLiteral("一"), {}}, MenuItem{},
                                      MenuItem{12, QStringLiteral("二"), {}}}}}};
    std::unique_ptr<QMenu> menu = buildContextMenu(tpl);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(commandOf(findCommand(*menu, 12)), 12);
    EXPECT_EQ(findCommand(*menu, 13), nullptr);

    RecordingMenuPresenter presenter;
    presenter.choice = 12;
    EXPECT_EQ(presenter.track(*menu, QPoint(5, 6), MenuAlign::TopRight), 12);
    ASSERT_EQ(presenter.shown.size(), 1u);
    EXPECT_EQ(presenter.shown[0].commands, (std::vector<int>{11, 12}));
    EXPECT_EQ(presenter.shown[0].pos, QPoint(5, 6));
    EXPECT_EQ(presenter.shown[0].align, MenuAlign::TopRight);
    EXPECT_EQ(buildContextMenu(MenuTemplate{}), nullptr);
}

// A login-failure text from the web service may carry markup; the box must show
// it as it stands, with no link in it to click.
TEST(ServicesTest, QtMessageBoxShowsMarkupAsPlainText)
{
    const QString reply = QStringLiteral("登录失败，<a href=\"file:///etc/passwd\">点此查看</a><b>详情</b>");
    bool seen = false;
    Qt::TextFormat boxFormat = Qt::AutoText;
    Qt::TextFormat labelFormat = Qt::AutoText;
    QString labelText;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        watch.stop();
        seen = true;
        boxFormat = box->textFormat();
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            labelFormat = label->textFormat();
            labelText = label->text();
        }
        box->button(QMessageBox::Ok)->click();
    });
    watch.start();
    QtMessageBox real;
    EXPECT_EQ(real.show(MessageBoxRequest{nullptr, reply, QStringLiteral("提示"), MessageIcon::Exclamation}),
              IDOK);
    ASSERT_TRUE(seen);
    EXPECT_EQ(boxFormat, Qt::PlainText);
    EXPECT_EQ(labelFormat, Qt::PlainText) << "a rich-text label would make the anchor clickable";
    EXPECT_EQ(labelText, reply);
}

TEST(ServicesTest, RecordingTrayReportsClicksOnlyWhileTheIconIsUp)
{
    RecordingTray tray;
    std::vector<QSystemTrayIcon::ActivationReason> reasons;
    EXPECT_FALSE(tray.activate(QSystemTrayIcon::Trigger)) << "no icon yet";
    tray.add(QIcon(), QStringLiteral("tip"),
             [&](QSystemTrayIcon::ActivationReason reason, const QPoint &) { reasons.push_back(reason); });
    EXPECT_TRUE(tray.activate(QSystemTrayIcon::Context));
    tray.remove();
    EXPECT_FALSE(tray.activate(QSystemTrayIcon::Trigger));
    EXPECT_EQ(reasons, (std::vector<QSystemTrayIcon::ActivationReason>{QSystemTrayIcon::Context}));
    EXPECT_EQ(tray.removes, 1);
}
