// A program that ends the way the tray menu's exit command ends the client: it
// writes a line without closing its file, leaves a thread blocked in a read that
// never returns, then exits at once. Started by ProcessExitTest.
#include <cstdio>
#include <thread>

#include <unistd.h>

#include "platform/Tray.h"

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    std::FILE *out = std::fopen(argv[1], "w");
    if (!out)
        return 3;
    std::fputs("saved before the exit\n", out);
    int fds[2];
    if (::pipe(fds) != 0)
        return 4;
    // Nobody ever writes to the pipe. Were the exit to wait for this thread, the
    // probe would hang; were it to return, the unjoined thread would abort it.
    std::thread blocked([fd = fds[0]] {
        char c;
        (void)::read(fd, &c, 1);
    });
    platform::ImmediateProcessExit().exitNow(-1);
}
