#pragma once

#include <QHash>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>
#include <QStringList>

#include "cli/RowWriter.h"

namespace cli {

// Where the web service and the data server are.
struct Endpoint {
    QString host;
    quint16 webPort = 0;
    quint16 dataPort = 0;
};

// One command line, read and checked: the command, its arguments and options.
struct Invocation {
    QString command;
    QStringList arguments;
    Endpoint endpoint;
    Format format = Format::Table;
    QString user;         // --user, empty when not given
    QString passwordFile; // --password-file, "-" for standard input
    QHash<QString, QString> values;
    QSet<QString> flags;
    // Set for --help (of a command or of the program): print it and stop.
    QString helpText;

    bool has(const QString &name) const { return values.contains(name) || flags.contains(name); }
    QString value(const QString &name, const QString &fallback = QString()) const
    {
        return values.value(name, fallback);
    }
};

// Host and ports come from the options, then KESTREL_HOST, KESTREL_WEB_PORT
// and KESTREL_DATA_PORT, then the client's own defaults. Throws a Failure
// with UsageError for anything wrong with the command line.
Invocation parseInvocation(const QStringList &arguments,
                           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

QString programHelp();

} // namespace cli
