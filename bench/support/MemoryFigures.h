#pragma once

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// What the soak programs print: the process's resident memory, the part of
// it that is not a mapped file, and the heap in use, in KB.
struct MemoryFigures {
    long residentKb = 0;
    long anonymousKb = 0;
    long heapInUseKb = 0;

    static MemoryFigures now()
    {
        MemoryFigures m;
        m.residentKb = statusField("VmRSS");
        m.anonymousKb = statusField("RssAnon");
        const struct mallinfo2 info = mallinfo2();
        m.heapInUseKb = long((info.uordblks + info.hblkhd) / 1024);
        return m;
    }

    // Prints the growth from `warm` to `last` against the allowance; true
    // when resident memory grew by more.
    static bool reportGrowth(const MemoryFigures &warm, const MemoryFigures &last, const char *what,
                             long allowanceKb = 2048)
    {
        const long rss = last.residentKb - warm.residentKb;
        const long heap = last.heapInUseKb - warm.heapInUseKb;
        const bool over = rss > allowanceKb;
        std::printf("growth %s: rss %+ld KB, heap %+ld KB (allowance %ld KB): %s\n", what, rss, heap,
                    allowanceKb, over ? "OVER" : "ok");
        return over;
    }

private:
    static long statusField(const char *name)
    {
        long value = 0;
        if (FILE *f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            const size_t length = std::strlen(name);
            while (std::fgets(line, sizeof line, f)) {
                if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
                    value = std::atol(line + length + 1);
                    break;
                }
            }
            std::fclose(f);
        }
        return value;
    }
};
