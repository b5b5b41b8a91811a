#include <QApplication>

#include "app/KestrelApp.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    CKestrelApp kestrel;
    return kestrel.InitInstance(app);
}
