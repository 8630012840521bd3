#include "support/TestRegistry.h"
#include "ui/AccessibleFactory.h"

// The windows' tests see the accessibility the program's main installs.
// Compiled into each of their executables, so that this registration runs.
namespace {
const int installed = registerTestStart(installAccessibleFactories);
} // namespace
