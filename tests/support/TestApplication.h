#pragma once

#include <memory>

class QCoreApplication;

namespace TestSupport {

// The application object a test or benchmark program runs under: widgets on
// the offscreen platform unless the environment names another, and no proxy,
// so that requests to the loopback servers of the tests go straight to them.
std::unique_ptr<QCoreApplication> makeApplication(int &argc, char **argv, bool widgets);

} // namespace TestSupport
