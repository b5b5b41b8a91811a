#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "account/AccountState.h"

namespace TestSupport {

// The client's text files worked out by hand: each UTF-16 unit low byte first.
QByteArray utf16le(const QString &text);
// The byte-order mark that starts them.
inline const QByteArray kUtf16Mark("\xFF\xFE", 2);

// The process's account state, reset, with baseDir in a fresh temporary
// directory; both are restored afterwards.
class AccountDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString path(const QString &name) const { return dir.filePath(name); }
    void put(const QString &name, const QByteArray &bytes) const;
    // The file's bytes, "<missing>" when it cannot be read.
    QByteArray contents(const QString &name) const;

    AccountState &state = AccountState::Instance();
    const QString savedBaseDir = AccountState::Instance().baseDir;
    QTemporaryDir dir;
};

} // namespace TestSupport
