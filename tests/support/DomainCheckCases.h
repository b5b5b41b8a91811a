#pragma once

#include <string>
#include <vector>

#include <QString>

// The address checks as every front end that edits a monitored address makes
// them: the address dialog and the command line run this one table.
struct DomainCheckCase {
    const char *name;
    QString typed;
    int reminder;    // index in remindTypeTexts(), -1 for none chosen
    QString message; // empty: accepted
    QString stored;  // the address sent, when accepted
    QString remark;  // typed into the remark box; empty: left as preset
};

inline const QString kDomainEmpty = QStringLiteral("监控的网址为空！");
inline const QString kDomainNoReminder = QStringLiteral("提醒方式为空！");
inline const QString kDomainMalformed =
    QStringLiteral("监控的网址填写错误，请填写完整的网址 包含 http  https 。");
inline const QString kDomainSeparator = QStringLiteral("监控的网址不能包含“|”或“;”。");
inline const QString kRemarkSeparator = QStringLiteral("备注不能包含“|”或“;”。");

inline const std::vector<DomainCheckCase> &domainCheckCases()
{
    static const std::vector<DomainCheckCase> cases = {
        {"HttpsAtTheStart",
         QStringLiteral("https://www.a.com/x"),
         2,
         {},
         QStringLiteral("https://www.a.com/x")},
        {"HttpAnywhere",
         QStringLiteral("游戏 http://www.a.com"),
         0,
         {},
         QStringLiteral("游戏 http://www.a.com")},
        {"HttpsNotAtTheStart", QStringLiteral("游戏 https://www.a.com"), 0, kDomainMalformed, {}},
        {"ThreeTrailingSlashes",
         QStringLiteral("http://www.a.com///"),
         3,
         {},
         QStringLiteral("http://www.a.com")},
        {"LeadingSlashes", QStringLiteral("//http://www.a.com/"), 1, {}, QStringLiteral("http://www.a.com")},
        {"SlashesOnly", QStringLiteral("///"), 0, kDomainEmpty, {}},
        {"NoScheme", QStringLiteral("www.a.com"), 0, kDomainMalformed, {}},
        {"UpperCaseScheme", QStringLiteral("HTTP://www.a.com"), 0, kDomainMalformed, {}},
        {"NoReminder", QStringLiteral("http://www.a.com"), -1, kDomainNoReminder, {}},
        {"EmptyBeforeNoReminder", QString(), -1, kDomainEmpty, {}},
        // The service's list would give these back with full-width separators.
        {"BarInTheAddress", QStringLiteral("http://www.a.com/?a|b"), 0, kDomainSeparator, {}},
        {"SemicolonInTheAddress", QStringLiteral("http://www.a.com/x;y"), 0, kDomainSeparator, {}},
        {"BarInTheRemark",
         QStringLiteral("http://www.a.com"),
         0,
         kRemarkSeparator,
         {},
         QStringLiteral("新|服")},
        {"SemicolonInTheRemark",
         QStringLiteral("http://www.a.com"),
         0,
         kRemarkSeparator,
         {},
         QStringLiteral("区;服")},
        {"FullWidthSeparatorsAreText",
         QStringLiteral("http://www.a.com/b"),
         0,
         {},
         QStringLiteral("http://www.a.com/b"),
         QStringLiteral("新｜服；区")},
    };
    return cases;
}

struct DomainCheckCaseName {
    template <class Info> std::string operator()(const Info &info) const { return info.param.name; }
};
