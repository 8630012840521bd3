#pragma once

#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "show/SlideStepper.h"
#include "support/Fakes.h"

#include <QString>
#include <QStringList>
#include <memory>

class DecodeHelperPool;

// A player window on its own slide list and fakes, opened as the explorer
// opens it.
struct PlayerFixture {
    explicit PlayerFixture(const QStringList& entries);

    // Loads and shows the window; its timer runs.
    frmImage& open();
    // Opens the window with its timer stopped, once the window system has
    // maximized it, for a test that steps the show itself.
    frmImage& openStill();
    // Steps, then lets the decoding ahead finish, as the interval would.
    void step();
    QString caption() const;
    int messages() const;
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    FakeWorld world;
    SlideListModel list;
    SlideStepper state;
    std::unique_ptr<frmImage> window;
};

// The player's caption for a picture: "path WxH Direction".
QString playerCaption(const QString& path, const char* size, const char* direction);

// The program's own decode helpers (kavelo-decode beside the test) installed
// for the object's life, as main installs them: the windows then decode
// every picture in a sandboxed helper process, through the seccomp filter
// and limits the program runs under.
class SandboxedDecodes {
public:
    SandboxedDecodes();
    ~SandboxedDecodes();
    // True once some picture went to a helper: none failed to start.
    bool used() const;

private:
    std::unique_ptr<DecodeHelperPool> pool_;
};
