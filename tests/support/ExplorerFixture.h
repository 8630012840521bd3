#pragma once

#include "explorer/frmExplorer.h"
#include "files/VolumeTable.h"
#include "support/Fakes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// The explorer on its own fakes, loaded unless asked not to (a test then
// stores settings for Form_Load to read and calls it). Without a volume
// table it offers the root volume alone and starts in an empty temporary
// folder; the files a test makes go into a second one, which browse()
// opens once they are written, so that the file list shows them.
struct ExplorerFixture {
    enum class Load { Now, Later };
    explicit ExplorerFixture(std::optional<VolumeTable> volumes = {}, Load load = Load::Now);

    // A file in the test's folder.
    QString path(const QString& name) const;
    void browse();
    // A click on a file: the file list's selection moves to it. False when
    // the list does not show exactly one file of that name.
    bool click(const QString& name);
    const QList<FakePrompter::Message>& messages() const;

    FakeWorld world;
    QTemporaryDir start;
    QTemporaryDir files;
    frmExplorer window;
};

class frmImage;

// The explorer shown with its slide list filled; Slideshow opens the
// player through the program's own wiring.
struct SlideshowExplorer : ExplorerFixture {
    explicit SlideshowExplorer(const QStringList& entries);
    // A click on Slideshow: the player it opened, or nullptr.
    frmImage* clickSlideshow();
};
