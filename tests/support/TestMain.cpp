#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/support/ScratchDatabase.h"
#include "tests/support/TestApplication.h"

// One application object for the whole run, made before any test; the GUI
// variant of this main is built with KESTREL_TEST_WIDGETS=1.
int main(int argc, char **argv)
{
    // The PostgreSQL run of a test program, without a cluster to run on.
    if (ScratchDatabases::backendFromEnvironment() == Backend::Postgres &&
        ScratchDatabases::clusterAddress().isEmpty())
        return 77;
    const std::unique_ptr<QCoreApplication> app =
        TestSupport::makeApplication(argc, argv, KESTREL_TEST_WIDGETS);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
