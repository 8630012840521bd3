#pragma once

#include "seams/AppInfo.h"

class SettingsStore;
class Prompter;
class FileDialog;
class ProgramEnd;
class UrlOpener;

// What main builds once and hands to the windows: the side effects they
// may cause, each behind an interface a test replaces.
struct AppContext {
    AppInfo info;
    SettingsStore* settings = nullptr;
    Prompter* prompter = nullptr;
    FileDialog* fileDialog = nullptr;
    ProgramEnd* programEnd = nullptr;
    UrlOpener* urlOpener = nullptr;
};
