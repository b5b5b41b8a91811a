#pragma once

// Every limit the service enforces against hostile or heavy clients, with its
// default. Each one can be changed on the command line (see ServiceOptions);
// nothing else in the service hard-codes a limit of this kind.
struct ServiceLimits {
    // --- Connections, frames and requests -------------------------------

    // --- Logins, sign-ups and stored data --------------------------------
};
