#include "support/ExplorerFixture.h"

#include "player/frmImage.h"
#include "show/SlideListModel.h"
#include "ui/DirListBox.h"
#include "ui/FileListBox.h"

#include <QPushButton>
#include <QTest>

ExplorerFixture::ExplorerFixture(std::optional<VolumeTable> volumes, Load load)
    : window(world.context(), volumes
                                  ? std::move(*volumes)
                                  : VolumeTable({{QStringLiteral("/"), QString()}}, start.path())) {
    if (load == Load::Now)
        window.Form_Load();
}

QString ExplorerFixture::path(const QString& name) const {
    return files.filePath(name);
}

void ExplorerFixture::browse() {
    window.Dir->setPath(files.path());
}

bool ExplorerFixture::click(const QString& name) {
    const QList<QListWidgetItem*> found = window.FileLst->findItems(name, Qt::MatchExactly);
    if (found.size() != 1)
        return false;
    window.FileLst->setCurrentItem(found.first());
    return true;
}

const QList<FakePrompter::Message>& ExplorerFixture::messages() const {
    return world.prompter.messages;
}

SlideshowExplorer::SlideshowExplorer(const QStringList& entries) {
    window.slideList().append(entries);
    window.show();
}

frmImage* SlideshowExplorer::clickSlideshow() {
    QTest::mouseClick(window.SlideShow, Qt::LeftButton);
    return window.imageForm.get();
}
