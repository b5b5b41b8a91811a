#pragma once

#include <QtGlobal>

// Every limit the service enforces against hostile or heavy clients, with its
// default. Each one can be changed on the command line (see ServiceOptions);
// nothing else in the service hard-codes a limit of this kind.
struct ServiceLimits {
    // --- Connections, frames and requests -------------------------------

    // Open connections of the web service and the data server together, and
    // from one peer address; clients past either are refused at once.
    int maxConnections = 1000;
    int maxConnectionsPerAddress = 64;
    // Largest frame a data connection may send before it has logged in: a
    // login or a heartbeat is far smaller.
    int preLoginFrameBytes = 64 * 1024;
    // A data connection must log in this long after it was accepted, and a
    // web request must be complete this long after its first byte.
    int loginDeadlineMs = 10 * 1000;
    int requestDeadlineMs = 10 * 1000;
    // Silence after which a connection is closed: between web requests, and
    // between frames of a logged-in data connection.
    int webIdleTimeoutMs = 30 * 1000;
    int dataIdleTimeoutMs = 120 * 1000;
    // Frames or requests one connection has handled before the others get a turn.
    int framesPerTurn = 16;
    // While more than this waits to go out, nothing more is read from the peer.
    qint64 outputPauseBytes = 256 * 1024;
    // What a peer may leave waiting. An answer is always written whole, however
    // large, as long as no more than the cap waited before it; while more than
    // the cap waits, the peer must take some of it every outputStallMs. A peer
    // that falls behind by the cap or stops taking its output is dropped.
    qint64 webOutputCapBytes = 1024 * 1024;
    qint64 dataOutputCapBytes = 64 * 1024 * 1024;
    int outputStallMs = 10 * 1000;

    // --- Logins, sign-ups and stored data --------------------------------

    // PBKDF2-HMAC-SHA256 rounds of a newly stored password; one check costs
    // some tens of milliseconds at the default.
    int passwordHashIterations = 150000;

    // A database server that cannot be reached at start is tried again every
    // second for this long before the service gives up.
    int databaseWaitSecs = 30;

    // Failed logins, counted per user name and per peer address: the first
    // free failures cost nothing, each further one makes the next attempt
    // wait a delay that starts at loginFirstDelayMs and doubles, and from
    // lockFailures on the name or address is refused for loginLockSecs.
    int accountFreeFailures = 3;
    int accountLockFailures = 10;
    int addressFreeFailures = 20;
    int addressLockFailures = 100;
    int loginFirstDelayMs = 1000;
    int loginLockSecs = 900;

    // Account requests that reach the store, per peer address and window.
    int signUpsPerAddress = 5;
    int signUpWindowSecs = 3600;

    // Signed queries remembered so that none is accepted twice; when full,
    // new ones are refused until old ones leave the clock window.
    int replayEntries = 100000;

    // Values in log lines are cut to this many characters; a connection
    // writes at most logLines lines per logWindowSecs, the rest are counted.
    int logValueChars = 200;
    int logLines = 50;
    int logWindowSecs = 60;

    // Monitored addresses one account may add (those stored already stay).
    int maxAddressesPerAccount = 1000;

    // Search keys: at most this many terms, dates and marks, and characters.
    int keyTerms = 32;
    int keyChars = 500;

    // --- Searches ---------------------------------------------------------

    // Threads that run searches beside the event loop, each on its own
    // database connection (0: searches run on the event loop).
    int searchThreads = 2;
    // Ad ids the search cache keeps for recent keys (8 bytes each).
    qint64 searchCacheIds = 4 * 1000 * 1000;
};
