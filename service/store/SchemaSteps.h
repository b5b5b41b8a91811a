#pragma once

#include <QString>
#include <QStringList>

class PasswordHash;
class QSqlQuery;

// The column types in which the back ends differ.
struct ColumnTypes {
    QString key;     // a row id the database gives
    QString integer; // 64 bits
};

// The tables of the first schema version, the same on every back end.
QStringList tableStatements(const ColumnTypes &types);

// Rewrites every password still held in clear as a salted hash.
bool hashClearPasswords(QSqlQuery &query, const PasswordHash &hash);
