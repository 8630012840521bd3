#pragma once

#include "app/AppContext.h"
#include "ui/Form.h"

class frmExplorer;
class frmSplash;

// Start-up: the splash while the explorer loads, then the explorer. Owns the
// two windows' Form holders for the run.
class modMain {
public:
    explicit modMain(AppContext context);
    ~modMain();

    void Main();

    Form<frmSplash> splash;
    Form<frmExplorer> explorer;

private:
    AppContext context_;
};
