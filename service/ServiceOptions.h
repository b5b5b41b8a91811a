#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>

#include "service/ServiceLimits.h"

// The command line of kestrel-service.
struct ServiceOptions {
    static constexpr quint16 kDefaultWebPort = 40000;
    static constexpr quint16 kDefaultDataPort = 19899;

    QHostAddress host = QHostAddress(QHostAddress::LocalHost);
    quint16 webPort = kDefaultWebPort; // 0 picks a free port
    quint16 dataPort = kDefaultDataPort;
    QString databasePath; // empty: the default file in the user's data directory
    bool demo = false;
    quint32 seed = 1;
    int changeIntervalSecs = 20;
    // Generated ads that replace the database's before serving (0: none).
    int demoAds = 0;
    // How clients reach the web service ("http://host:port"), for the links
    // it hands out; empty: the address each request came in on.
    QString publicUrl;
    ServiceLimits limits;

    // Parses arguments (the program name first). On failure error holds a
    // one-line message; with --help or --version it holds the text to print
    // and exitNow is set.
    static std::optional<ServiceOptions> parse(const QStringList &arguments, QString *error, bool *exitNow);
    // The database file used when none is named: a separate one for the demo,
    // which is rebuilt at every start.
    static QString defaultDatabasePath(bool demo);
};
