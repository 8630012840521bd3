#include "app/ExplorerWiring.h"

#include "app/frmAbout.h"
#include "explorer/frmExplorer.h"
#include "options/frmOptions.h"
#include "player/frmImage.h"
#include "ui/ScreenPlacement.h"

void wireExplorer(frmExplorer& explorer) {
    frmExplorer* owner = &explorer;
    explorer.imageForm.setFactory([owner] {
        auto* player = new frmImage(owner->context(), owner->slideList(), owner->showState());
        // Maximized on the explorer's monitor: without this the window
        // system picks one, usually the primary.
        placeOver(*player, *owner);
        return player;
    });
    explorer.optionsForm.setFactory([owner] {
        auto* dialog = new frmOptions(*owner->context().settings, owner->intSavePath, owner);
        QObject::connect(dialog, &frmOptions::savePathApplied, owner,
                         [owner](const QVariant& flag) { owner->intSavePath = flag; });
        return dialog;
    });
    explorer.aboutForm.setFactory([owner] { return new frmAbout(owner->context(), owner); });
}
