#include <gtest/gtest.h>

#include <QDateTime>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "service/store/AccountStore.h"
#include "service/store/Database.h"
#include "service/store/PasswordHash.h"
#include "tests/support/ServiceTestSupport.h"

using namespace ServiceTest;

namespace {

QString storedPassword(const Database &db, const QString &user)
{
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("SELECT password FROM accounts WHERE user = ?"));
    query.addBindValue(user);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0).toString();
}

TEST(PasswordHash, SaltedPerValueAndCheckedWithItsOwnRounds)
{
    const PasswordHash strong(2000);
    const QString a = strong.make(QStringLiteral("secret1"));
    const QString b = strong.make(QStringLiteral("secret1"));
    EXPECT_FALSE(a.contains(QStringLiteral("secret1")));
    EXPECT_NE(a, b); // a fresh salt each time
    EXPECT_TRUE(PasswordHash::matches(a, QStringLiteral("secret1")));
    EXPECT_TRUE(PasswordHash::matches(b, QStringLiteral("secret1")));
    EXPECT_FALSE(PasswordHash::matches(a, QStringLiteral("secret2")));
    EXPECT_FALSE(PasswordHash::matches(a, QStringLiteral("Secret1")));
    // Made with other rounds, still checked right.
    const QString weak = PasswordHash(10).make(QStringLiteral("密码"));
    EXPECT_TRUE(PasswordHash::matches(weak, QStringLiteral("密码")));
    EXPECT_FALSE(PasswordHash::matches(weak, QStringLiteral("密")));
}

TEST(PasswordHash, ValuesThatAreNoHashNeverMatch)
{
    const QString good = PasswordHash(10).make(QStringLiteral("pw"));
    QString wrongRounds = good;
    wrongRounds.replace(QStringLiteral("$10$"), QStringLiteral("$11$"));
    const struct {
        const char *name;
        QString stored;
    } cases[] = {
        {"clear text equal to the password", QStringLiteral("pw")},
        {"empty", QString()},
        {"other scheme", QString(good).replace(QStringLiteral("pbkdf2-sha256"), QStringLiteral("md5"))},
        {"rounds changed", wrongRounds},
        {"no rounds", QStringLiteral("pbkdf2-sha256$$c2FsdA==$") + good.section(QLatin1Char('$'), 3)},
        {"digest cut", good.left(good.size() - 4)},
        {"bad base64", QStringLiteral("pbkdf2-sha256$10$!!$!!")},
    };
    for (const auto &c : cases) {
        EXPECT_FALSE(PasswordHash::matches(c.stored, QStringLiteral("pw"))) << c.name;
    }
    EXPECT_FALSE(PasswordHash::isHash(QStringLiteral("pw")));
    EXPECT_TRUE(PasswordHash::isHash(good));
}

TEST(PasswordStorage, AccountsKeepOnlyAHashAndVerifyAgainstIt)
{
    QTemporaryDir dir;
    Database db{PasswordHash(50)};
    ASSERT_TRUE(db.open(dir.filePath(QStringLiteral("a.sqlite"))));
    AccountStore accounts(db);
    ASSERT_EQ(accounts.create(QStringLiteral("carol"), QStringLiteral("pw1"), QStringLiteral("12345"), 1),
              AccountStore::CreateResult::Created);
    ASSERT_NE(accounts.save(sampleAccount(QStringLiteral("dave"), QStringLiteral("pw1"))), 0);
    for (const QString &user : {QStringLiteral("carol"), QStringLiteral("dave")}) {
        const QString stored = storedPassword(db, user);
        EXPECT_TRUE(PasswordHash::isHash(stored)) << stored.toStdString();
        EXPECT_FALSE(stored.contains(QStringLiteral("pw1")));
        EXPECT_TRUE(accounts.verify(user, QStringLiteral("pw1")).has_value());
        EXPECT_FALSE(accounts.verify(user, QStringLiteral("pw2")).has_value());
    }
    EXPECT_NE(storedPassword(db, QStringLiteral("carol")), storedPassword(db, QStringLiteral("dave")));
    EXPECT_FALSE(accounts.verify(QStringLiteral("nobody"), QStringLiteral("pw1")).has_value());

    // A record read back and saved again keeps its password.
    std::optional<AccountRecord> dave = accounts.account(QStringLiteral("dave"));
    ASSERT_TRUE(dave);
    dave->notice = QStringLiteral("new notice");
    ASSERT_NE(accounts.save(*dave), 0);
    EXPECT_TRUE(accounts.verify(QStringLiteral("dave"), QStringLiteral("pw1")).has_value());
}

TEST(PasswordStorage, OpeningAnOlderFileHashesPasswordsHeldInClear)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.sqlite"));
    {
        Database old;
        ASSERT_TRUE(old.open(path, 2));
        ASSERT_TRUE(
            old.exec(QStringLiteral("INSERT INTO accounts (user, password) VALUES ('erin', 'pw_old')")));
        ASSERT_TRUE(
            old.exec(QStringLiteral("INSERT INTO accounts (user, password) VALUES ('fay', '张三9')")));
    }
    Database db{PasswordHash(50)};
    ASSERT_TRUE(db.open(path)) << db.errorString().toStdString();
    EXPECT_EQ(db.schemaVersion(), Database::kSchemaVersion);
    AccountStore accounts(db);
    const struct {
        QString user;
        QString password;
    } rows[] = {{QStringLiteral("erin"), QStringLiteral("pw_old")},
                {QStringLiteral("fay"), QStringLiteral("张三9")}};
    for (const auto &row : rows) {
        EXPECT_TRUE(PasswordHash::isHash(storedPassword(db, row.user))) << row.user.toStdString();
        EXPECT_TRUE(accounts.verify(row.user, row.password).has_value()) << row.user.toStdString();
    }
}

TEST(PasswordStorage, BothLoginsAcceptTheRightPasswordOnly)
{
    LocalService service;
    ASSERT_TRUE(service.start());
    ASSERT_NE(seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1"))), 0);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const auto &[password, accepted] :
         {std::pair{QStringLiteral("secret1"), true}, std::pair{QStringLiteral("secret2"), false}}) {
        const HttpResult web = httpGet(service.webUrl(
            QStringLiteral("/tongji/common_login_for_monitor/login.asp?") +
            QString::fromLatin1(signedQuery(QStringLiteral("alice"), password, QStringLiteral("1"), now))));
        EXPECT_EQ(web.text().startsWith(QStringLiteral("0|")), accepted) << web.text().toStdString();
        DataClient client(service->dataPort());
        EXPECT_EQ(client.logIn(QStringLiteral("alice"), password), accepted);
    }
}

} // namespace
