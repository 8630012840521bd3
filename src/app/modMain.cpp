#include "app/modMain.h"

#include "app/CommandLine.h"
#include "app/frmSplash.h"
#include "explorer/frmExplorer.h"

#include <QCoreApplication>
#include <QDir>

modMain::modMain(AppContext context)
    : splash([this] {
        auto* window = new frmSplash(context_.info);
        QObject::connect(window, &frmSplash::unloadRequested, window, [this] { splash.unload(); });
        return window;
    })
    , explorer([this] {
        return new frmExplorer(context_,
                               VolumeTable(VolumeTable::systemVolumes(), QDir::currentPath()));
    })
    , context_(std::move(context)) {}

modMain::~modMain() = default;

void modMain::Main() {
    frmSplash* window = splash.show();
    window->repaint();
    // The window system maps and paints the splash only from its queue; input
    // stays queued so the explorer's loading is what the user waits for.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    explorer.load();
    splash.unload();
    explorer.show();
}

void modMain::openGivenFiles(const CommandLine& command) {
    frmExplorer* window = explorer.get();
    if (!window)
        return;
    if (!command.slideShowFile.isEmpty())
        window->openSlideShowFile(command.slideShowFile);
    if (!command.pictures.isEmpty())
        window->appendPictures(command.pictures);
}
