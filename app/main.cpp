#include <cstdio>
#include <cstdlib>

#include <QApplication>

#include "app/KestrelApp.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    CKestrelApp kestrel;
    const int code = kestrel.InitInstance(app);
    // A background web request may still be running; nothing waits for it.
    std::fflush(nullptr);
    std::quick_exit(code);
}
