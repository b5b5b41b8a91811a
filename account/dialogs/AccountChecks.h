#pragma once

#include <optional>

#include <QString>

// What the account dialog collects before it asks the service for a new account.
struct NewAccountInput {
    QString userName;
    QString password;
    QString passwordRepeated;
    QString qq;
};

// The hint the QQ box opens with; taken as "nothing typed".
inline const QString kQqHint = QStringLiteral("QQ号码作为售后唯一接口,请填写");

// Checks the input in a fixed order and returns the message of the first check
// that fails, or an empty text when the input may be sent.
QString checkNewAccount(const NewAccountInput &input);

// Path and query of the account request: time, user, pass, key and qq. The
// key digest is taken over the raw texts; the values travel percent-encoded.
QString accountAddRequest(const NewAccountInput &input, qint64 unixSeconds);

// What the dialog tells the user about the service's reply (nullopt: the
// request failed); empty when the account was created, which only the
// exact reply "0" says.
QString accountAddProblem(const std::optional<QString> &reply);
