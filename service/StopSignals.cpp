#include "service/StopSignals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int pairFds[2] = {-1, -1};
}

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pairFds) != 0)
        return;
    notifier = std::make_unique<QSocketNotifier>(pairFds[1], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &StopSignals::onReadable);
    struct sigaction action = {};
    action.sa_handler = &StopSignals::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    notifier.reset();
    for (int &fd : pairFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void StopSignals::handler(int signalNumber)
{
    const char byte = char(signalNumber);
    (void)!::write(pairFds[0], &byte, 1);
}

void StopSignals::onReadable()
{
    char byte = 0;
    if (::read(pairFds[1], &byte, 1) == 1)
        emit stopRequested(int(byte));
}
