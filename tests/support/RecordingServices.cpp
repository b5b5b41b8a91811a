#include "tests/support/RecordingServices.h"

#include <QAction>
#include <QMenu>

#include "platform/MenuBuilder.h"

namespace platform {

int RecordingMessageBox::show(const MessageBoxRequest &request)
{
    shown.push_back(request);
    if (answers.empty())
        return defaultAnswer;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool RecordingShell::open(const QUrl &url)
{
    opened.push_back(url);
    return succeeds;
}

bool MemoryClipboard::setText(const QString &text)
{
    if (!available)
        return false;
    content = text;
    ++writes;
    return true;
}

int RecordingMenuPresenter::track(QMenu &menu, const QPoint &globalPos, MenuAlign align)
{
    Shown entry;
    entry.pos = globalPos;
    entry.align = align;
    for (const QAction *action : menu.actions()) {
        if (action->isSeparator())
            continue;
        entry.commands.push_back(commandOf(action));
        entry.texts.push_back(action->text());
    }
    shown.push_back(std::move(entry));
    return choice;
}

void RecordingTray::add(const QIcon &newIcon, const QString &newTip, ActivationHandler onActivated)
{
    added = true;
    ++adds;
    icon = newIcon;
    tip = newTip;
    handler = std::move(onActivated);
}

void RecordingTray::remove()
{
    if (added)
        ++removes;
    added = false;
}

bool RecordingTray::activate(QSystemTrayIcon::ActivationReason reason, const QPoint &globalPos)
{
    if (!added || !handler)
        return false;
    handler(reason, globalPos);
    return true;
}

void ManualPoster::post(QObject *context, std::function<void()> call)
{
    pending.push_back(Pending{context, context != nullptr, std::move(call)});
}

int ManualPoster::runPending()
{
    std::vector<Pending> batch;
    batch.swap(pending);
    int ran = 0;
    for (Pending &p : batch) {
        if (p.hadContext && !p.context)
            continue;
        p.call();
        ++ran;
    }
    return ran;
}

} // namespace platform
