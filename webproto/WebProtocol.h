#pragma once

#include <QString>

// The web service's protocol as both ends speak it: its paths, the two salts
// and how queries are signed. Digests are taken over the raw (decoded) texts;
// values travel percent-encoded.
namespace WebProtocol {

// Request paths; a query follows after '?'.
namespace Path {
inline constexpr char Login[] = "/tongji/common_login_for_monitor/login.asp";
inline constexpr char GetUserDomainInfo[] = "/tongji/common_login_for_monitor/get_user_domain_info.asp";
inline constexpr char AddDomain[] = "/tongji/common_login_for_monitor/add_domain.asp";
inline constexpr char DelDomain[] = "/tongji/common_login_for_monitor/del_domain.asp";
inline constexpr char AccountAdd[] = "/tongji/account_add_1_1.asp";
} // namespace Path

// Longest address and remark the service stores; the client's boxes and
// checks hold the user to the same lengths, so the common case never
// reaches a refusal.
inline constexpr int kMaxAddressChars = 1024;
inline constexpr int kMaxRemarkChars = 500;

// Part of every check digest; the service expects exactly this text.
inline constexpr char kCheckSalt[] = "2016-11-27";
// Part of the key of an account request.
inline constexpr char kAccountSalt[] = "20160524";

// Digest of U+P+T+salt+M+R+N, with M the minutes of the seconds N (empty
// when N is not a number).
QString checkDigest(const QString &user, const QString &password, const QString &type, const QString &rand,
                    const QString &time);
// Digest of salt+U+P+N.
QString accountKey(const QString &user, const QString &password, const QString &time);

// A query value as it goes on the wire: its GBK bytes percent-encoded,
// RFC 3986 unreserved characters left as they are.
QString queryValue(const QString &value);

// user=U&pass=P&type=T&rand=R&time=N&check=C for the given moment and random number.
QString signedQuery(const QString &type, const QString &user, const QString &password, qint64 unixSeconds,
                    int random);

// time=N&user=U&pass=P&key=K&qq=Q of an account request.
QString accountAddQuery(const QString &user, const QString &password, const QString &qq, qint64 unixSeconds);

// path + '?' + query.
QString target(const char *path, const QString &query);

} // namespace WebProtocol
