#include "explorer/frmExplorer.h"

#include "about/frmAbout.h"
#include "options/frmOptions.h"
#include "player/frmImage.h"

#include "files/FileSystem.h"
#include "seams/FileDialog.h"
#include "seams/ProgramEnd.h"
#include "seams/Prompter.h"
#include "settings/SettingsConversions.h"
#include "settings/SettingsNames.h"
#include "settings/SettingsStore.h"
#include "show/SlideListModel.h"
#include "slidefile/SlideFile.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"
#include "ui/ScreenPlacement.h"
#include "ui/SlideListView.h"
#include "ui/WaitCursor.h"

#include <QCloseEvent>
#include <QDir>
#include <QMenuBar>
#include <QPushButton>

frmExplorer::frmExplorer(AppContext context, VolumeTable volumes, QWidget* parent)
    : QMainWindow(parent)
    , context_(context)
    , volumes_(std::move(volumes))
    , slides_(new SlideListModel(this)) {
    setObjectName(QStringLiteral("frmExplorer"));
    setWindowTitle(QStringLiteral("Kavelo - Explorer"));
    setWindowIcon(QIcon(QStringLiteral(":/kavelo/icons/kavelo.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setupControls(this, volumes_, slides_);
    connectControls();
    // Fixed size: the client area as designed plus the menu bar.
    setFixedSize(centralWidget()->width(),
                 centralWidget()->height() + menuBar()->sizeHint().height());
    centreOnScreen(*this);
    makeWindows();
}

void frmExplorer::makeWindows() {
    imageForm.setFactory([this] {
        auto* player = new frmImage(context_, *slides_, showState_);
        // Maximized on the explorer's monitor: without this the window
        // system picks one, usually the primary.
        placeOver(*player, *this);
        return player;
    });
    optionsForm.setFactory([this] {
        // The dialog reads the flag at each activation and hands back what
        // Apply sets; it never holds the explorer itself.
        auto* dialog = new frmOptions(
            *context_.settings, [this] { return intSavePath; }, this);
        connect(dialog, &frmOptions::savePathApplied, this,
                [this](const QVariant& flag) { intSavePath = flag; });
        return dialog;
    });
    aboutForm.setFactory([this] { return new frmAbout(context_, this); });
}

frmExplorer::~frmExplorer() = default;

void frmExplorer::connectControls() {
    connect(Drive, &DriveListBox::Change, this, &frmExplorer::Drive_Change);
    connect(Dir, &DirListBox::Change, this, &frmExplorer::Dir_Change);
    connect(FileLst, &FileListBox::Click, this, &frmExplorer::FileLst_Click);
    connect(FileLst, &FileListBox::DblClick, this, &frmExplorer::FileLst_DblClick);
    connect(FileList, &SlideListView::Click, this, [this] {
        if (!removing_)
            FileList_Click();
    });
    connect(Select, &QPushButton::clicked, this, &frmExplorer::Select_Click);
    connect(Remove, &QPushButton::clicked, this, &frmExplorer::Remove_Click);
    connect(SlideShow, &QPushButton::clicked, this, &frmExplorer::SlideShow_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &frmExplorer::cmdLoad_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmExplorer::cmdSave_Click);
    connect(btnExit, &QPushButton::clicked, this, &frmExplorer::btnExit_Click);
    connect(Open, &QAction::triggered, this, &frmExplorer::Open_Click);
    connect(Exit, &QAction::triggered, this, &frmExplorer::Exit_Click);
    connect(mnuOpts, &QAction::triggered, this, &frmExplorer::mnuOpts_Click);
    connect(mnuAboutInfo, &QAction::triggered, this, &frmExplorer::mnuAboutInfo_Click);
}

void frmExplorer::Form_Load() {
    // Before any setting is read: the options dialog exists, hidden, from
    // the start, with its box unchecked until it is first activated.
    optionsForm.loadWidget();
    SettingsStore& settings = *context_.settings;
    intSavePath = settings.read(settingsKey::Options, settingsKey::SavePath);
    // The lists start on the process's current folder; restoring moves them.
    Dir->openFolder(volumes_.processFolder());
    if (isSavePathOn(intSavePath)) {
        Drive->setDrive(
            settings.read(settingsKey::Paths, settingsKey::Drive, settingsKey::DriveDefault));
        // Without a stored folder the drive's own current folder stands,
        // which the drive change has just moved to.
        if (settings.contains(settingsKey::Paths, settingsKey::Dir))
            Dir->openFolder(settings.read(settingsKey::Paths, settingsKey::Dir));
    }
    Remove->setEnabled(false);
}

void frmExplorer::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    if (!isSavePathOn(intSavePath))
        return;
    context_.settings->write(settingsKey::Paths, settingsKey::Drive, Drive->drive());
    context_.settings->write(settingsKey::Paths, settingsKey::Dir, Dir->path());
}

void frmExplorer::Drive_Change() {
    Dir->setPath(Drive->drive());
}

void frmExplorer::Dir_Change() {
    // The folder may have fallen back onto another volume (a stick pulled).
    Drive->showVolumeOf(Dir->path());
    FileLst->setPath(Dir->path());
}

void frmExplorer::FileLst_Click() {
    const QString name = FileLst->selectedFileName();
    if (name.isEmpty() || !isPictureName(name))
        return;
    PictureOpened = picturePath(Dir->path(), name);
    ShowPreview();
}

void frmExplorer::FileLst_DblClick() {
    const QString name = FileLst->selectedFileName();
    if (!name.isEmpty())
        slides_->append(picturePath(Dir->path(), name));
}

void frmExplorer::FileList_Click() {
    // The selected entry, never merely the current one: the focus arriving
    // in the list makes an entry current without the user choosing it.
    const QModelIndex selected = FileList->selectedIndex();
    if (!selected.isValid())
        return;
    PictureOpened = slides_->entry(selected.row());
    ShowPreview();
    intSlideIndex = selected.row();
    Remove->setEnabled(true);
}

void frmExplorer::Select_Click() {
    const QString folder = Dir->path();
    QStringList paths;
    paths.reserve(FileLst->count());
    for (int row = 0; row < FileLst->count(); ++row)
        paths.append(picturePath(folder, FileLst->fileName(row)));
    slides_->append(paths);
}

void frmExplorer::Remove_Click() {
    // After a load the remembered position may no longer name an entry.
    if (intSlideIndex < 0 || intSlideIndex >= slides_->count())
        return;
    removing_ = true;
    slides_->removeAt(intSlideIndex);
    removing_ = false;
    if (slides_->count() == 0) {
        FileList->clearSelection();
        return;
    }
    selectSlide(intSlideIndex > 0 ? intSlideIndex - 1 : 0);
}

void frmExplorer::selectSlide(int position) {
    const QModelIndex index = slides_->index(position);
    // Selecting runs the selection handling even when the row is already
    // selected: removing the current entry makes the view select its
    // neighbour by itself, which raises nothing while removing_ is set.
    if (FileList->selectedIndex() == index) {
        FileList->setCurrentIndex(index);
        FileList_Click();
    } else {
        FileList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

void frmExplorer::ShowPreview() {
    bool loaded = false;
    {
        const WaitCursor hourglass;
        // Only as large as the preview shows it: a 24 MP JPEG decodes by
        // eighths in a fraction of the time a screen-sized copy takes.
        const QSize shown = PVPicture->deviceSize();
        loaded = shown.isEmpty() ? PVPicture->LoadFile(PictureOpened)
                                 : PVPicture->LoadFile(PictureOpened, shown);
    }
    if (loaded) {
        // What a screen reader says of the preview: the file it shows.
        PVPicture->setAccessibleDescription(PictureOpened);
        return;
    }
    context_.prompter->message(this,
                               QStringLiteral("Format Not supported. Unable to open picture file."),
                               MessageIcon::Stop);
}

void frmExplorer::SlideShow_Click() {
    if (slides_->count() == 0) {
        context_.prompter->message(this,
                                   QStringLiteral("You MUST select images before using Slideshow"),
                                   MessageIcon::Stop);
        return;
    }
    // No owner: the player is a window of its own beside the explorer.
    imageForm.showWidget();
}

void frmExplorer::cmdLoad_Click() {
    const std::optional<QString> chosen = context_.fileDialog->openFile(this, strSavePath);
    if (!chosen)
        return;
    strSavePath = *chosen;
    loadSlideShowFile();
}

void frmExplorer::openSlideShowFile(const QString& path) {
    strSavePath = path;
    loadSlideShowFile();
}

void frmExplorer::appendPictures(const QStringList& paths) {
    slides_->append(paths);
}

void frmExplorer::cmdSave_Click() {
    const std::optional<QString> chosen = context_.fileDialog->saveFile(this, strSavePath);
    if (!chosen)
        return;
    strSavePath = *chosen;
    saveSlideShowFile();
}

void frmExplorer::loadSlideShowFile() {
    // Emptied before the file is looked at: a missing file leaves no list.
    slides_->clear();
    if (!FileExists(strSavePath)) {
        context_.prompter->message(this, QStringLiteral("The slideshow file does not exist"),
                                   MessageIcon::Stop);
        return;
    }
    QStringList entries;
    bool complete = false;
    {
        const WaitCursor hourglass;
        complete = loadSlideFile(strSavePath, entries);
        // One insertion for the whole file keeps a long list fast.
        slides_->append(entries);
    }
    if (!complete)
        context_.prompter->message(this, QStringLiteral("The slideshow file could not be read"),
                                   MessageIcon::Stop);
}

void frmExplorer::saveSlideShowFile() {
    bool saved = false;
    {
        const WaitCursor hourglass;
        saved = saveSlideFile(strSavePath, slides_->entries());
    }
    if (!saved)
        context_.prompter->message(this, QStringLiteral("The slideshow file could not be saved"),
                                   MessageIcon::Stop);
}

void frmExplorer::btnExit_Click() {
    Form_Unload();
    context_.programEnd->endNow();
}

// The File menu's Open item has no action of its own (slide show files come
// in through the Load button); it is kept so the menu looks as users know it.
void frmExplorer::Open_Click() {}

void frmExplorer::Exit_Click() {
    context_.programEnd->endNow();
}

void frmExplorer::mnuOpts_Click() {
    // Non-modal: the explorer stays usable while the dialog is open.
    optionsForm.showWidget();
}

void frmExplorer::mnuAboutInfo_Click() {
    QWidget* box = aboutForm.loadWidget();
    if (!box)
        return;
    // Application-modal without a nested event loop: no other window takes
    // input until the box is closed, and closing it destroys it.
    box->setWindowModality(Qt::ApplicationModal);
    aboutForm.showWidget();
}

void frmExplorer::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
    context_.programEnd->endNow();
}
