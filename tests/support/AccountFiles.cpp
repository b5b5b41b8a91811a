#include "tests/support/AccountFiles.h"

#include <QFile>

namespace TestSupport {

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

void AccountDirTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    state.resetForTests();
    state.baseDir = dir.path() + '/';
}

void AccountDirTest::TearDown()
{
    state.baseDir = savedBaseDir;
    state.resetForTests();
}

void AccountDirTest::put(const QString &name, const QByteArray &bytes) const
{
    QFile file(path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray AccountDirTest::contents(const QString &name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace TestSupport
