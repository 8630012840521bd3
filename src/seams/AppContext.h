#pragma once

#include "seams/AppInfo.h"

#include <functional>

class SettingsStore;
class Prompter;
class FileDialog;
class ProgramEnd;
class UrlOpener;
class frmExplorer;

// What main builds once and hands to the windows: the side effects they
// may cause, each behind an interface a test replaces.
struct AppContext {
    AppInfo info;
    SettingsStore* settings = nullptr;
    Prompter* prompter = nullptr;
    FileDialog* fileDialog = nullptr;
    ProgramEnd* programEnd = nullptr;
    UrlOpener* urlOpener = nullptr;
    // Hands the explorer the windows it opens (player, options, about box),
    // whose classes live in layers above it; modMain sets it. Without it
    // the explorer opens none of them.
    std::function<void(frmExplorer&)> wireExplorer;
};
