#pragma once

#include "seams/AppContext.h"
#include "ui/Form.h"

struct CommandLine;
class frmExplorer;
class frmSplash;

// Start-up: the splash while the explorer loads, then the explorer. Owns the
// two windows' Form holders for the run.
class modMain {
public:
    explicit modMain(AppContext context);
    ~modMain();

    void Main();
    // After Main: opens the files the command line names in the explorer,
    // the slide show file first, then the pictures.
    void openGivenFiles(const CommandLine& command);

    Form<frmSplash> splash;
    Form<frmExplorer> explorer;

private:
    AppContext context_;
};
