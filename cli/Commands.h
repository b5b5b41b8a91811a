#pragma once

#include <signal.h>

#include "cli/CliFailure.h"
#include "cli/CliOptions.h"

namespace cli {

class DataLink;

// Runs one checked command line; throws a Failure for anything but success.
void runCommand(const Invocation &invocation);

// The link a running watch stops through when a signal arrives (null when
// none runs); set and cleared by the watch itself.
DataLink *activeWatch();
// SIGINT and SIGTERM: blocked in every thread and taken by one.
sigset_t stopSignals();

} // namespace cli
