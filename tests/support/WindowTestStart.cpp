#include "ui/AccessibleFactory.h"

// The windows' tests see the accessibility the program's main installs.
// Compiled into each of their executables, so that it runs before main.
static const bool installed = (installAccessibleFactories(), true);
