#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Holds a peer to taking what it is sent. An answer is always written whole,
// however large, as long as no more than the cap waited before it; while more
// than the cap waits, the peer must take some of it every stallMs. So the cap
// bounds what a peer that stops reading costs, never the size of one answer.
class OutputWatch : public QObject {
public:
    OutputWatch(qint64 capBytes, int stallMs, std::function<void()> onStalled, QObject *parent = nullptr);

    // Whether an answer may be added to `waiting` bytes: not when the peer
    // has fallen behind by more than the cap.
    bool admits(qint64 waiting) const { return waiting <= cap; }
    // After an answer was added: `waiting` bytes wait now. Writing more is
    // no progress; a stall that began goes on.
    void written(qint64 waiting);
    // The peer took some; `waiting` bytes are left.
    void drained(qint64 waiting);
    void stop() { stall.stop(); }

    qint64 capBytes() const { return cap; }
    int stallMs() const { return stall.interval(); }

private:
    const qint64 cap;
    QTimer stall;
};
