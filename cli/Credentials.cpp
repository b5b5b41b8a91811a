#include "cli/Credentials.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "cli/CliFailure.h"

namespace cli {

namespace {

constexpr qsizetype kMaxFileBytes = 64 * 1024;

Failure fileFailure(const QString &what, const QString &path)
{
    return {Refused,
            QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)))};
}

// The terminal's settings while a prompt hides the input; restored by the
// prompt itself or, after a signal, by restoreTerminal().
struct HiddenInput {
    std::atomic<bool> active{false};
    int fd = -1;
    termios saved{};
};
HiddenInput hidden;

QByteArray readLine(int fd)
{
    QByteArray line;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            break;
        if (line.size() < kMaxFileBytes)
            line += c;
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

CredentialFile::CredentialFile(QString path) : filePath(std::move(path))
{
}

QString CredentialFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/credentials");
}

std::optional<Credentials> CredentialFile::read() const
{
    // Opened first and judged by its descriptor, so what is checked is what is read.
    const int fd = ::open(QFile::encodeName(filePath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        throw fileFailure(QStringLiteral("cannot open"), filePath);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        throw Failure{Refused,
                      QStringLiteral("%1 may be read or changed by others; not used (chmod 600 it, or "
                                     "log in again)")
                          .arg(filePath)};
    }
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || bytes.size() > kMaxFileBytes)
            break;
        bytes.append(buffer, got);
    }
    ::close(fd);
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 2 || lines[0].isEmpty())
        throw Failure{Refused, QStringLiteral("%1 is not a credentials file; log in again").arg(filePath)};
    return Credentials{QString::fromUtf8(QByteArray::fromPercentEncoding(lines[0])),
                       QString::fromUtf8(QByteArray::fromPercentEncoding(lines[1]))};
}

void CredentialFile::write(const Credentials &credentials) const
{
    const QString dir = QFileInfo(filePath).absolutePath();
    if (!QDir().mkpath(dir))
        throw fileFailure(QStringLiteral("cannot create"), dir);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    // Percent-encoded, so no name or password can break the two lines apart.
    const QByteArray bytes = credentials.user.toUtf8().toPercentEncoding() + '\n' +
                             credentials.password.toUtf8().toPercentEncoding() + '\n';
    const QString temporary = filePath + QStringLiteral(".new");
    const QByteArray temporaryName = QFile::encodeName(temporary);
    ::unlink(temporaryName.constData());
    const int fd =
        ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw fileFailure(QStringLiteral("cannot write"), temporary);
    bool written =
        ::fchmod(fd, 0600) == 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporaryName.constData(), QFile::encodeName(filePath).constData()) != 0) {
        const Failure failure = fileFailure(QStringLiteral("cannot write"), filePath);
        ::unlink(temporaryName.constData());
        throw failure;
    }
}

bool CredentialFile::remove() const
{
    return ::unlink(QFile::encodeName(filePath).constData()) == 0;
}

QString promptLine(const QString &prompt)
{
    std::fputs(prompt.toUtf8().constData(), stderr);
    std::fflush(stderr);
    return QString::fromUtf8(readLine(STDIN_FILENO));
}

QString promptSecret(const QString &prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        return QString::fromUtf8(readLine(STDIN_FILENO));
    const QByteArray text = prompt.toUtf8();
    (void)!::write(tty, text.constData(), size_t(text.size()));
    termios settings{};
    const bool isTerminal = ::tcgetattr(tty, &settings) == 0;
    if (isTerminal) {
        hidden.fd = tty;
        hidden.saved = settings;
        hidden.active = true;
        settings.c_lflag &= ~tcflag_t(ECHO);
        settings.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &settings);
    }
    const QByteArray line = readLine(tty);
    restoreTerminal();
    ::close(tty);
    return QString::fromUtf8(line);
}

void restoreTerminal()
{
    if (hidden.active.exchange(false))
        ::tcsetattr(hidden.fd, TCSAFLUSH, &hidden.saved);
}

} // namespace cli
