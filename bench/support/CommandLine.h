#pragma once

#include <cstdlib>
#include <cstring>

// The number given after `name` on the command line ("--changes 1000"), or
// the fallback when the option is not there.
inline long optionValue(int argc, char **argv, const char *name, long fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atol(argv[i + 1]);
    return fallback;
}
