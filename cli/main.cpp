#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

#include <QCoreApplication>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/Credentials.h"
#include "cli/DataLink.h"

namespace {

// SIGINT and SIGTERM are taken by one thread: a watch ends cleanly, any other
// command at once (with the terminal's echo back if a prompt hid it).
void startSignalThread()
{
    const sigset_t taken = cli::stopSignals();
    pthread_sigmask(SIG_BLOCK, &taken, nullptr);
    std::thread([taken] {
        for (;;) {
            int number = 0;
            if (sigwait(&taken, &number) != 0)
                continue;
            if (cli::DataLink *watch = cli::activeWatch()) {
                watch->interrupt();
                continue;
            }
            cli::restoreTerminal();
            std::_Exit(128 + number);
        }
    }).detach();
}

void printLine(std::FILE *to, const QString &text)
{
    std::fputs(text.toUtf8().constData(), to);
    if (!text.endsWith(u'\n'))
        std::fputc('\n', to);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread exists, so that every thread inherits the blocked set.
    startSignalThread();
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrel"));
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-cli"));
    try {
        const cli::Invocation invocation = cli::parseInvocation(QCoreApplication::arguments());
        if (!invocation.helpText.isEmpty()) {
            printLine(stdout, invocation.helpText);
            return cli::Success;
        }
        cli::runCommand(invocation);
        std::fflush(stdout);
        return cli::Success;
    } catch (const cli::Failure &failure) {
        std::fflush(stdout);
        printLine(stderr, QStringLiteral("kestrel-cli: ") + failure.message);
        return failure.status;
    }
}
