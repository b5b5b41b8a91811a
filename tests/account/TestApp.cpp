#include <gtest/gtest.h>

#include <memory>

#include <QCoreApplication>

namespace {

// Qt's network layer and event loops need an application object; the tests
// get one for the whole run. Proxy variables are dropped so that requests to
// the loopback servers of the tests go straight to them.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        for (const char *name :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[16] = "test_account";
    char *argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplication); // gtest owns it

} // namespace
