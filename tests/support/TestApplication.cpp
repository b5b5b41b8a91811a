#include "tests/support/TestApplication.h"

#include <QApplication>
#include <QCoreApplication>

namespace TestSupport {

std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool widgets)
{
    for (const char *name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    if (!widgets)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace TestSupport
