#include <QCoreApplication>

#include <cstdio>

#include "service/Service.h"
#include "service/ServiceLog.h"
#include "service/ServiceOptions.h"
#include "service/StopSignals.h"

namespace {

void printLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrel"));
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-service"));

    QString error;
    bool exitNow = false;
    const std::optional<ServiceOptions> options = ServiceOptions::parse(app.arguments(), &error, &exitNow);
    if (!options) {
        if (exitNow) {
            printLine(stdout, error);
            return 0;
        }
        printLine(stderr, QStringLiteral("kestrel-service: ") + error);
        return 2;
    }

    Service service(*options);
    if (!service.start()) {
        printLine(stderr, QStringLiteral("kestrel-service: ") + service.errorString());
        return 1;
    }
    // Read by scripts and tests that start the service on free ports.
    printLine(stdout, QStringLiteral("web-port %1").arg(service.webPort()));
    printLine(stdout, QStringLiteral("data-port %1").arg(service.dataPort()));

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [](int signalNumber) {
        ServiceLog::line(QStringLiteral("signal %1: stopping").arg(signalNumber));
        QCoreApplication::quit();
    });
    const int code = app.exec();
    service.stop();
    ServiceLog::line(QStringLiteral("stopped"));
    return code;
}
