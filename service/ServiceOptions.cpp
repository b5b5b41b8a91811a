#include "service/ServiceOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

namespace {

std::optional<quint16> port(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return quint16(value);
}

// A whole-number limit of ServiceLimits with its option.
struct LimitOption {
    const char *name;
    const char *description;
    int ServiceLimits::*field;
    int min;
    int max;
};

const QList<LimitOption> &limitOptions()
{
    static const QList<LimitOption> options = {
        {"password-iterations", "PBKDF2 rounds of a newly stored password.",
         &ServiceLimits::passwordHashIterations, 1, 10000000},
        {"account-free-failures", "Failed logins per user name before delays begin.",
         &ServiceLimits::accountFreeFailures, 0, 1000000},
        {"account-lock-failures", "Failed logins per user name that lock it.",
         &ServiceLimits::accountLockFailures, 1, 1000000},
        {"address-free-failures", "Failed logins per peer address before delays begin.",
         &ServiceLimits::addressFreeFailures, 0, 1000000},
        {"address-lock-failures", "Failed logins per peer address that lock it.",
         &ServiceLimits::addressLockFailures, 1, 1000000},
        {"login-first-delay-ms", "First delay after the free failures; it doubles with each failure.",
         &ServiceLimits::loginFirstDelayMs, 0, 3600 * 1000},
        {"login-lock-secs", "How long a locked user name or address is refused.",
         &ServiceLimits::loginLockSecs, 0, 7 * 24 * 3600},
        {"sign-ups-per-address", "Account requests per peer address and window.",
         &ServiceLimits::signUpsPerAddress, 0, 1000000},
        {"sign-up-window-secs", "The window of --sign-ups-per-address.", &ServiceLimits::signUpWindowSecs, 1,
         7 * 24 * 3600},
        {"replay-entries", "Signed queries remembered against replay.", &ServiceLimits::replayEntries, 1,
         10000000},
        {"log-value-chars", "Characters of a value written to the log.", &ServiceLimits::logValueChars, 8,
         100000},
        {"log-lines", "Log lines per connection and window; more are counted, not written.",
         &ServiceLimits::logLines, 1, 1000000},
        {"log-window-secs", "The window of --log-lines.", &ServiceLimits::logWindowSecs, 1, 24 * 3600},
        {"key-terms", "Terms, dates and marks of one search key.", &ServiceLimits::keyTerms, 1, 1000},
        {"key-chars", "Characters of one search key.", &ServiceLimits::keyChars, 1, 100000},
    };
    return options;
}

} // namespace

QString ServiceOptions::defaultDatabasePath(bool demo)
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dir);
    return QDir(dir).filePath(demo ? QStringLiteral("demo.sqlite") : QStringLiteral("service.sqlite"));
}

std::optional<ServiceOptions> ServiceOptions::parse(const QStringList &arguments, QString *error,
                                                    bool *exitNow)
{
    *exitNow = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reference back end of Vorlant: the web service and the data "
                       "server on one SQLite database."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                        QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption webOption(QStringLiteral("web-port"),
                                       QStringLiteral("Port of the web service (0 picks a free one)."),
                                       QStringLiteral("N"), QString::number(kDefaultWebPort));
    const QCommandLineOption dataOption(QStringLiteral("data-port"),
                                        QStringLiteral("Port of the data server (0 picks a free one)."),
                                        QStringLiteral("N"), QString::number(kDefaultDataPort));
    const QCommandLineOption dbOption(QStringLiteral("db"), QStringLiteral("Database file."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption demoOption(
        QStringLiteral("demo"),
        QStringLiteral("Fill the database with demo data and change it now and then."));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the demo data."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption intervalOption(QStringLiteral("change-interval"),
                                            QStringLiteral("Seconds between demo ad changes (0: none)."),
                                            QStringLiteral("SECONDS"), QStringLiteral("20"));
    parser.addOptions({hostOption, webOption, dataOption, dbOption, demoOption, seedOption, intervalOption});
    const ServiceLimits defaults;
    for (const LimitOption &limit : limitOptions()) {
        const QString value = QString::number(defaults.*limit.field);
        parser.addOption(
            QCommandLineOption(QLatin1String(limit.name),
                               QLatin1String(limit.description) + QStringLiteral(" Default: %1.").arg(value),
                               QStringLiteral("N"), value));
    }

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(helpOption)) {
        *error = parser.helpText();
        *exitNow = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    ServiceOptions options;
    const QString host = parser.value(hostOption);
    if (host == QLatin1String("localhost"))
        options.host = QHostAddress(QHostAddress::LocalHost);
    else if (!options.host.setAddress(host)) {
        *error = QStringLiteral("--host: not an IP address: %1").arg(host);
        return std::nullopt;
    }
    const std::optional<quint16> web = port(parser.value(webOption));
    const std::optional<quint16> data = port(parser.value(dataOption));
    if (!web || !data) {
        *error = QStringLiteral("--web-port and --data-port take a number from 0 to 65535");
        return std::nullopt;
    }
    options.webPort = *web;
    options.dataPort = *data;
    options.databasePath = parser.value(dbOption);
    options.demo = parser.isSet(demoOption);
    bool ok = false;
    options.seed = parser.value(seedOption).toUInt(&ok);
    if (!ok) {
        *error = QStringLiteral("--seed takes a non-negative number");
        return std::nullopt;
    }
    options.changeIntervalSecs = parser.value(intervalOption).toInt(&ok);
    if (!ok || options.changeIntervalSecs < 0 || options.changeIntervalSecs > 24 * 3600) {
        *error = QStringLiteral("--change-interval takes a number of seconds from 0 to 86400");
        return std::nullopt;
    }
    for (const LimitOption &limit : limitOptions()) {
        const QString name = QLatin1String(limit.name);
        const int value = parser.value(name).toInt(&ok);
        if (!ok || value < limit.min || value > limit.max) {
            *error =
                QStringLiteral("--%1 takes a number from %2 to %3").arg(name).arg(limit.min).arg(limit.max);
            return std::nullopt;
        }
        options.limits.*limit.field = value;
    }
    return options;
}
