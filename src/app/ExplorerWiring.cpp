#include "app/ExplorerWiring.h"

#include "app/frmAbout.h"
#include "explorer/frmExplorer.h"
#include "options/frmOptions.h"
#include "player/frmImage.h"

void wireExplorer(frmExplorer& explorer) {
    frmExplorer* owner = &explorer;
    explorer.imageForm.setFactory(
        [owner] { return new frmImage(owner->context(), owner->slideList(), owner->showState()); });
    explorer.optionsForm.setFactory(
        [owner] { return new frmOptions(*owner->context().settings, owner->intSavePath, owner); });
    explorer.aboutForm.setFactory([owner] { return new frmAbout(owner->context(), owner); });
}
