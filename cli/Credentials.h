#pragma once

#include <optional>

#include <QString>

namespace cli {

struct Credentials {
    QString user;
    QString password;
};

// The credentials a login keeps for later commands (the protocol has no
// session token, so the password itself is kept): one file of mode 0600 in
// the user's config folder. A file that anyone but its owner may read or
// write is refused rather than used.
class CredentialFile {
public:
    explicit CredentialFile(QString path = defaultPath());
    // <AppConfigLocation>/credentials
    static QString defaultPath();

    const QString &path() const { return filePath; }
    // nullopt when there is no file; throws a Failure when it is unsafe or unreadable.
    std::optional<Credentials> read() const;
    // Replaces the file atomically; throws a Failure when it cannot.
    void write(const Credentials &credentials) const;
    // True when a file was there and is gone.
    bool remove() const;

private:
    QString filePath;
};

// Reads a password without echo: from the terminal when there is one, else
// one line of standard input.
QString promptSecret(const QString &prompt);
// One line typed after the prompt (shown on standard error).
QString promptLine(const QString &prompt);
// Puts the terminal back if a prompt was cut short by a signal.
void restoreTerminal();

} // namespace cli
