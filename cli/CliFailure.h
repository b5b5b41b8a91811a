#pragma once

#include <QString>

namespace cli {

// The exit statuses scripts rely on.
enum ExitStatus : int {
    Success = 0,
    Refused = 1,     // the service (or a check it shares with the client) said no
    UsageError = 2,  // the command line itself is wrong
    Unreachable = 3, // the service did not answer in the time the client waits
};

// Ends a command early: its status and the line for standard error.
struct Failure {
    ExitStatus status;
    QString message;
};

} // namespace cli
