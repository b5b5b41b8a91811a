#include "cli/CliOptions.h"

#include <QCommandLineParser>

#include "account/ServiceBase.h"
#include "cli/CliFailure.h"
#include "net/ConnectSession.h"

#ifndef KESTREL_SERVICE_HOST
#define KESTREL_SERVICE_HOST "127.0.0.1"
#endif

namespace cli {

namespace {

struct OptionDefinition {
    const char *name;
    const char *valueName; // null: a flag
    const char *description;
};

struct CommandDefinition {
    const char *name;
    const char *synopsis;
    const char *summary;
    int minArguments;
    int maxArguments;
    std::vector<OptionDefinition> options;
};

const std::vector<OptionDefinition> kAddressOptions = {
    {"remark", "TEXT", "Remark shown beside the address."},
    {"remind", "WAY", "Reminder: local, qq, both or none (\"\" for none chosen)."},
    {"sites", "A~B", "Publishing sites to watch it on (\"1\": every site)."},
    {"all-days", nullptr, "Ads of every opening day, not only today to the day after tomorrow."},
};

const std::vector<CommandDefinition> &commands()
{
    static const std::vector<CommandDefinition> table = {
        {"login",
         "login",
         "Check a user name and password against the web service and the data server, and keep them.",
         0,
         0,
         {}},
        {"logout", "logout", "Forget the kept credentials.", 0, 0, {}},
        {"list", "list", "The monitored addresses, with their ad counts.", 0, 0, {}},
        {"add", "add URL", "Monitor an address (the address dialog's checks apply).", 1, 1, kAddressOptions},
        {"modify", "modify URL", "Change a monitored address; options not given keep their values.", 1, 1,
         [] {
             std::vector<OptionDefinition> options = kAddressOptions;
             options.push_back({"url", "NEW", "A new address in its place."});
             options.push_back({"near-days", nullptr, "Only ads opening today to the day after tomorrow."});
             return options;
         }()},
        {"remove", "remove URL", "Stop monitoring an address.", 1, 1, {}},
        {"search",
         "search KEY",
         "Search the collected ads (terms joined with \\).",
         1,
         1,
         {{"date", "MM/DD", "Opening day."},
          {"time", "HH:MM", "Opening time: HH:MM (half hours), 全天固顶, 通宵 or 通宵固顶."},
          {"sites", "A~B", "Publishing sites to search (\"1\": every site)."},
          {"limit", "N", "Stop after N rows."}}},
        {"redirects",
         "redirects KEY",
         "Where addresses matching the key redirect to.",
         1,
         1,
         {{"limit", "N", "Stop after N rows."}}},
        {"history",
         "history KEY",
         "Past ads of addresses matching the key.",
         1,
         1,
         {{"limit", "N", "Stop after N rows."}}},
        {"watch",
         "watch",
         "Stay connected and print one line per changed address until SIGINT or SIGTERM.",
         0,
         0,
         {{"exec", "CMD",
           "Run CMD (through /bin/sh) per change, with KESTREL_URL, KESTREL_ADS, KESTREL_TIME, "
           "KESTREL_REMARK set."}}},
        {"sites", "sites", "The publishing-site catalogue.", 0, 0, {}},
    };
    return table;
}

const CommandDefinition *findCommand(const QString &name)
{
    for (const CommandDefinition &definition : commands())
        if (name == QLatin1String(definition.name))
            return &definition;
    return nullptr;
}

QList<QCommandLineOption> commonOptions()
{
    return {
        {QStringLiteral("host"), QStringLiteral("Service host (KESTREL_HOST)."), QStringLiteral("HOST")},
        {QStringLiteral("web-port"), QStringLiteral("Web service port (KESTREL_WEB_PORT)."),
         QStringLiteral("PORT")},
        {QStringLiteral("data-port"), QStringLiteral("Data server port (KESTREL_DATA_PORT)."),
         QStringLiteral("PORT")},
        {QStringLiteral("user"), QStringLiteral("User name, instead of the kept one."),
         QStringLiteral("NAME")},
        {QStringLiteral("password-file"),
         QStringLiteral("Read the password from the file's first line (- for "
                        "standard input)."),
         QStringLiteral("FILE")},
        {QStringLiteral("json"), QStringLiteral("JSON output (JSON lines for watch).")},
        {QStringLiteral("csv"), QStringLiteral("CSV output.")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help.")},
    };
}

[[noreturn]] void usage(const QString &message)
{
    throw Failure{UsageError, message + QStringLiteral("\n(kestrel-cli --help lists the commands)")};
}

quint16 portFrom(const QString &text, const char *what)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        usage(QStringLiteral("%1 is not a port: %2").arg(QLatin1String(what), text));
    return quint16(port);
}

QString commandHelp(const CommandDefinition &definition, const QCommandLineParser &parser)
{
    QString text = QStringLiteral("Usage: kestrel-cli %1 [options]\n%2\n")
                       .arg(QLatin1String(definition.synopsis), QLatin1String(definition.summary));
    const QString options = parser.helpText();
    const qsizetype at = options.indexOf(QStringLiteral("Options:"));
    return text + (at < 0 ? QString() : QStringLiteral("\n") + options.mid(at));
}

} // namespace

QString programHelp()
{
    QString text = QStringLiteral("Usage: kestrel-cli COMMAND [options]\n\n"
                                  "The monitored addresses, searches and change notifications of a Vorlant "
                                  "account.\n\nCommands:\n");
    for (const CommandDefinition &definition : commands())
        text += QStringLiteral("  %1%2\n")
                    .arg(QLatin1String(definition.synopsis), -16)
                    .arg(QLatin1String(definition.summary));
    text += QStringLiteral("\nkestrel-cli COMMAND --help lists a command's options. Exit status: 0 done, 1 "
                           "refused, 2 usage error, 3 service unreachable.\n");
    return text;
}

Invocation parseInvocation(const QStringList &arguments, const QProcessEnvironment &environment)
{
    Invocation invocation;
    if (arguments.size() < 2)
        usage(QStringLiteral("no command given"));
    invocation.command = arguments.at(1);
    if (invocation.command == u"--help" || invocation.command == u"-h" || invocation.command == u"help") {
        invocation.helpText = programHelp();
        return invocation;
    }
    const CommandDefinition *definition = findCommand(invocation.command);
    if (!definition)
        usage(QStringLiteral("unknown command: %1").arg(invocation.command));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(commonOptions());
    for (const OptionDefinition &option : definition->options) {
        if (option.valueName)
            parser.addOption({QLatin1String(option.name), QString::fromUtf8(option.description),
                              QLatin1String(option.valueName)});
        else
            parser.addOption({QLatin1String(option.name), QString::fromUtf8(option.description)});
    }
    QStringList rest = arguments;
    rest.removeAt(1);
    if (!parser.parse(rest))
        usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        invocation.helpText = commandHelp(*definition, parser);
        return invocation;
    }
    invocation.arguments = parser.positionalArguments();
    if (invocation.arguments.size() < definition->minArguments ||
        invocation.arguments.size() > definition->maxArguments)
        usage(QStringLiteral("usage: kestrel-cli %1").arg(QLatin1String(definition->synopsis)));
    for (const OptionDefinition &option : definition->options) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        if (option.valueName)
            invocation.values.insert(name, parser.value(name));
        else
            invocation.flags.insert(name);
    }

    if (parser.isSet(QStringLiteral("json")) && parser.isSet(QStringLiteral("csv")))
        usage(QStringLiteral("--json and --csv exclude each other"));
    if (parser.isSet(QStringLiteral("json")))
        invocation.format = Format::Json;
    else if (parser.isSet(QStringLiteral("csv")))
        invocation.format = Format::Csv;
    invocation.user = parser.value(QStringLiteral("user"));
    invocation.passwordFile = parser.value(QStringLiteral("password-file"));

    const auto setting = [&](const char *option, const char *variable, const QString &fallback) {
        if (parser.isSet(QLatin1String(option)))
            return parser.value(QLatin1String(option));
        const QString fromEnvironment = environment.value(QLatin1String(variable));
        return fromEnvironment.isEmpty() ? fallback : fromEnvironment;
    };
    invocation.endpoint.host = setting("host", "KESTREL_HOST", QStringLiteral(KESTREL_SERVICE_HOST));
    if (invocation.endpoint.host.isEmpty())
        usage(QStringLiteral("the host is empty"));
    invocation.endpoint.webPort = portFrom(
        setting("web-port", "KESTREL_WEB_PORT", QString::number(ServiceBase::kDefaultPort)), "web port");
    invocation.endpoint.dataPort =
        portFrom(setting("data-port", "KESTREL_DATA_PORT", QString::number(ConnectSession::kDefaultPort)),
                 "data port");
    return invocation;
}

} // namespace cli
