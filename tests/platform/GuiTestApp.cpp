#include <gtest/gtest.h>

#include <memory>

#include <QApplication>

namespace {

// Widgets need an application object; the tests get one for the whole run, on the
// offscreen platform unless the environment names another.
class GuiApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app.reset(); }

private:
    int argc = 1;
    char name[16] = "kestrel_test";
    char *argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new GuiApplication); // gtest owns it

} // namespace
