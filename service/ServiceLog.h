#pragma once

#include <QString>

#include <functional>

// One line per event on standard error, stamped with the local time. Tests may
// silence it; the service itself always writes. A line never holds a control
// character: line breaks and the like are written as escapes, so that no text
// from a client can start a line of its own.
namespace ServiceLog {

void line(const QString &text);
void setEnabled(bool enabled);

// A text from a client as it goes into a line: cut to the value limit, with
// the length it had.
QString value(const QString &text);
void setValueLimit(int characters);

// Control characters written as \n, \r, \t or \xNN / \uNNNN.
QString escaped(const QString &text);

// Every line of the log goes through here when set (tests); nothing is written
// to standard error then.
void setSink(std::function<void(const QString &)> sink);

// How many lines one connection may write: `lines` per window; past that the
// lines are counted and a count is written when the next window opens or the
// budget is dropped.
class Budget {
public:
    using Clock = std::function<qint64()>; // milliseconds, steady

    Budget(int lines, int windowSecs, Clock clock = {});
    ~Budget();
    Budget(const Budget &) = delete;
    Budget &operator=(const Budget &) = delete;

    // Writes the line (with prefix) when the budget allows.
    void line(const QString &prefix, const QString &text);

private:
    void reportLeftOut(const QString &prefix);

    int lines;
    qint64 windowMs;
    Clock now;
    qint64 windowStart = 0;
    int written = 0;
    int leftOut = 0;
    QString lastPrefix;
};

} // namespace ServiceLog
