#include <gtest/gtest.h>

#include "service/ServiceOptions.h"

namespace {

std::optional<ServiceOptions> parse(const QStringList &arguments, QString *error, bool *exitNow)
{
    return ServiceOptions::parse(QStringList{QStringLiteral("kestrel-service")} + arguments, error, exitNow);
}

TEST(ServiceOptions, LimitsTakeTheirDefaultsAndTheirOptions)
{
    QString error;
    bool exitNow = false;
    const std::optional<ServiceOptions> plain = parse({}, &error, &exitNow);
    ASSERT_TRUE(plain) << error.toStdString();
    const ServiceLimits defaults;
    EXPECT_EQ(plain->limits.passwordHashIterations, defaults.passwordHashIterations);
    EXPECT_EQ(plain->limits.keyTerms, defaults.keyTerms);

    const std::optional<ServiceOptions> set =
        parse({QStringLiteral("--password-iterations"), QStringLiteral("5000"), QStringLiteral("--key-terms"),
               QStringLiteral("7"), QStringLiteral("--login-lock-secs"), QStringLiteral("60"),
               QStringLiteral("--replay-entries"), QStringLiteral("10"),
               QStringLiteral("--max-addresses-per-account"), QStringLiteral("250"),
               QStringLiteral("--output-stall-ms"), QStringLiteral("1500")},
              &error, &exitNow);
    ASSERT_TRUE(set) << error.toStdString();
    EXPECT_EQ(set->limits.passwordHashIterations, 5000);
    EXPECT_EQ(set->limits.keyTerms, 7);
    EXPECT_EQ(set->limits.loginLockSecs, 60);
    EXPECT_EQ(set->limits.replayEntries, 10);
    EXPECT_EQ(set->limits.maxAddressesPerAccount, 250);
    EXPECT_EQ(set->limits.outputStallMs, 1500);
    EXPECT_EQ(set->limits.logLines, defaults.logLines);

    for (const QStringList &bad : {QStringList{QStringLiteral("--password-iterations"), QStringLiteral("0")},
                                   QStringList{QStringLiteral("--key-chars"), QStringLiteral("many")},
                                   QStringList{QStringLiteral("--log-lines"), QStringLiteral("-1")}}) {
        EXPECT_FALSE(parse(bad, &error, &exitNow)) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(error.contains(bad.first())) << error.toStdString();
    }
}

TEST(ServiceOptions, HelpNamesEveryLimitWithItsDefault)
{
    QString help;
    bool exitNow = false;
    EXPECT_FALSE(parse({QStringLiteral("--help")}, &help, &exitNow));
    EXPECT_TRUE(exitNow);
    for (const char *option :
         {"--password-iterations", "--account-lock-failures", "--address-lock-failures",
          "--login-first-delay-ms", "--login-lock-secs", "--sign-ups-per-address", "--replay-entries",
          "--log-value-chars", "--log-lines", "--key-terms", "--key-chars", "--max-addresses-per-account",
          "--web-output-cap-bytes", "--data-output-cap-bytes", "--output-stall-ms"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
    EXPECT_TRUE(help.contains(QStringLiteral("Default: %1.").arg(ServiceLimits().passwordHashIterations)));
    EXPECT_TRUE(help.contains(QStringLiteral("Default: %1.").arg(ServiceLimits().maxAddressesPerAccount)));
}

} // namespace
