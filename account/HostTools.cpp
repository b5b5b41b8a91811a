#include "account/HostTools.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// A value of a desktop entry's string key: backslash escapes are read
// before anything else.
QString escapeEntryValue(QString value)
{
    value.replace(u'\\', QLatin1String("\\\\"));
    value.replace(u'\n', QLatin1String("\\n"));
    value.replace(u'\r', QLatin1String("\\r"));
    value.replace(u'\t', QLatin1String("\\t"));
    return value;
}

// One argument of an Exec key: quoted when it holds a reserved character,
// with the characters that stay special inside quotes escaped, and '%'
// doubled so that it is not taken for a field code.
QString quoteExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");
    bool needsQuotes = argument.isEmpty();
    QString escaped;
    for (const QChar c : argument) {
        if (reserved.contains(c))
            needsQuotes = true;
        if (escapedInQuotes.contains(c))
            escaped += u'\\';
        escaped += c;
    }
    escaped.replace(u'%', QLatin1String("%%"));
    return needsQuotes ? u'"' + escaped + u'"' : escaped;
}

} // namespace

QString executablePath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString executableDir()
{
    QString dir = QFileInfo(executablePath()).absolutePath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString ResolveHost(const QString &host)
{
    static const QString dotted = QStringLiteral("0123456789.");
    if (std::all_of(host.begin(), host.end(), [](QChar c) { return dotted.contains(c); }))
        return host;

    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError)
        return QString();
    for (const QHostAddress &address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString();
    }
    return QString();
}

QString desktopEntryText(const QString &executable)
{
    const QString name = QString::fromUtf16(kShortcutName);
    QString dir = QFileInfo(executable).absolutePath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=%1\n"
                          "Exec=%2\n"
                          "Path=%3\n"
                          "Terminal=false\n")
        .arg(escapeEntryValue(name), escapeEntryValue(quoteExecArgument(executable)), escapeEntryValue(dir));
}

bool CreateDesktopShortcut()
{
    return CreateDesktopShortcut(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

bool CreateDesktopShortcut(const QString &desktopDir)
{
    if (desktopDir.isEmpty() || !QFileInfo(desktopDir).isDir())
        return false; // the desktop folder is the user's to create, not ours
    QSaveFile file(QDir(desktopDir).filePath(QString::fromUtf16(kShortcutName) + QLatin1String(".desktop")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(desktopEntryText(executablePath()).toUtf8());
    // File managers only start launchers that are marked executable.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                        QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                        QFileDevice::ExeOther);
    return file.commit();
}
