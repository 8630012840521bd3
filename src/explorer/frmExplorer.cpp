#include "explorer/frmExplorer.h"

#include "app/ProgramEnd.h"
#include "app/frmAbout.h"
#include "app/SettingsConversions.h"
#include "app/SettingsStore.h"
#include "options/frmOptions.h"
#include "player/frmImage.h"
#include "slidefile/SlideFile.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileDialog.h"
#include "ui/FileListBox.h"
#include "ui/FileSystem.h"
#include "ui/PictureView.h"
#include "ui/Prompter.h"
#include "ui/SlideListModel.h"
#include "ui/SlideListView.h"
#include "ui/Twips.h"
#include "ui/WaitCursor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>

namespace {
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& icon, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    if (!icon.isEmpty())
        button->setIcon(QIcon(icon));
    QFont font = button->font();
    font.setPointSizeF(8.25);
    button->setFont(font);
    return button;
}
} // namespace

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
    buildControls();
    buildMenus();
    // Fixed size: the client area as designed plus the menu bar.
    const QSize client(twipsToPixels(11790), twipsToPixels(9360));
    setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

frmExplorer::~frmExplorer() = default;

void frmExplorer::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsToPixels(11790), twipsToPixels(9360));
    setCentralWidget(client);

    // Created in tab order, so focus moves as designed.
    Drive = new DriveListBox(volumes_, client);
    Drive->setObjectName(QStringLiteral("Drive"));
    Drive->setGeometry(twipsRect(240, 120, 4815, 315));

    Dir = new DirListBox(volumes_, client);
    Dir->setObjectName(QStringLiteral("Dir"));
    Dir->setGeometry(twipsRect(240, 480, 4815, 1890));

    auto* slideView = new SlideListView(client);
    FileList = slideView;
    FileList->setObjectName(QStringLiteral("FileList"));
    FileList->setGeometry(twipsRect(240, 5460, 4815, 3765));
    FileList->setModel(slides_);

    PVPicture = new PictureView(client);
    PVPicture->setObjectName(QStringLiteral("PVPicture"));
    PVPicture->setGeometry(twipsRect(5820, 120, 5715, 5115));
    PVPicture->setAccessibleName(QStringLiteral("Preview"));
    PVPicture->setFocusPolicy(Qt::StrongFocus);

    FileLst = new FileListBox(client);
    FileLst->setObjectName(QStringLiteral("FileLst"));
    FileLst->setGeometry(twipsRect(240, 2460, 4815, 2040));

    cmdLoad =
        makeButton(client, "cmdLoad", QStringLiteral("&Load"),
                   QStringLiteral(":/kavelo/icons/load.png"), twipsRect(5460, 8520, 1515, 735));
    cmdSave =
        makeButton(client, "cmdSave", QStringLiteral("Sa&ve"),
                   QStringLiteral(":/kavelo/icons/save.png"), twipsRect(7020, 8520, 1515, 735));
    Select = makeButton(client, "Select", QStringLiteral("Select All"),
                        QStringLiteral(":/kavelo/icons/selectall.png"),
                        twipsRect(3540, 4620, 1515, 735));
    SlideShow = makeButton(client, "SlideShow", QStringLiteral("&Slideshow"),
                           QStringLiteral(":/kavelo/icons/slideshow.png"),
                           twipsRect(8640, 8520, 1515, 735));
    btnExit = makeButton(client, "btnExit", QStringLiteral("E&xit"), QString(),
                         twipsRect(10200, 8520, 1515, 735));
    Remove =
        makeButton(client, "Remove", QStringLiteral("&Remove"),
                   QStringLiteral(":/kavelo/icons/remove.png"), twipsRect(1980, 4620, 1515, 735));
    for (QPushButton* button : {cmdLoad, cmdSave, Select, SlideShow, btnExit, Remove})
        button->setIconSize(QSize(16, 16));

    QWidget::setTabOrder(Drive, Dir);
    QWidget::setTabOrder(Dir, FileList);
    QWidget::setTabOrder(FileList, PVPicture);
    QWidget::setTabOrder(PVPicture, FileLst);
    QWidget::setTabOrder(FileLst, cmdLoad);
    QWidget::setTabOrder(cmdLoad, cmdSave);
    QWidget::setTabOrder(cmdSave, Select);
    QWidget::setTabOrder(Select, SlideShow);
    QWidget::setTabOrder(SlideShow, btnExit);
    QWidget::setTabOrder(btnExit, Remove);

    connect(Drive, &DriveListBox::Change, this, &frmExplorer::Drive_Change);
    connect(Dir, &DirListBox::Change, this, &frmExplorer::Dir_Change);
    connect(FileLst, &FileListBox::Click, this, &frmExplorer::FileLst_Click);
    connect(FileLst, &FileListBox::DblClick, this, &frmExplorer::FileLst_DblClick);
    connect(slideView, &SlideListView::Click, this, [this] {
        if (!removing_)
            FileList_Click();
    });
    connect(Select, &QPushButton::clicked, this, &frmExplorer::Select_Click);
    connect(Remove, &QPushButton::clicked, this, &frmExplorer::Remove_Click);
    connect(SlideShow, &QPushButton::clicked, this, &frmExplorer::SlideShow_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &frmExplorer::cmdLoad_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmExplorer::cmdSave_Click);
    connect(btnExit, &QPushButton::clicked, this, &frmExplorer::btnExit_Click);
}

void frmExplorer::buildMenus() {
    filemenu = menuBar()->addMenu(QStringLiteral("File"));
    filemenu->setObjectName(QStringLiteral("filemenu"));
    Open = filemenu->addAction(QStringLiteral("Open"));
    Open->setObjectName(QStringLiteral("Open"));
    Exit = filemenu->addAction(QStringLiteral("Exit"));
    Exit->setObjectName(QStringLiteral("Exit"));
    mnuOpts = menuBar()->addAction(QStringLiteral("&Options"));
    mnuOpts->setObjectName(QStringLiteral("mnuOpts"));
    mnuAbout = menuBar()->addMenu(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuAboutInfo = mnuAbout->addAction(QStringLiteral("About"));
    mnuAboutInfo->setObjectName(QStringLiteral("mnuAboutInfo"));

    connect(Open, &QAction::triggered, this, &frmExplorer::Open_Click);
    connect(Exit, &QAction::triggered, this, &frmExplorer::Exit_Click);
    connect(mnuOpts, &QAction::triggered, this, &frmExplorer::mnuOpts_Click);
    connect(mnuAboutInfo, &QAction::triggered, this, &frmExplorer::mnuAboutInfo_Click);
}

void frmExplorer::Form_Load() {
    // Before any setting is read: the options dialog exists, hidden, from
    // the start, with its box unchecked until it is first activated.
    optionsForm.load()->chkSavePath->setChecked(false);
    SettingsStore& settings = *context_.settings;
    intSavePath = settings.read(QStringLiteral("opts"), QStringLiteral("SavePath"));
    // The lists start on the process's current folder; restoring moves them.
    Dir->openFolder(volumes_.processFolder());
    if (isSavePathOn(intSavePath)) {
        Drive->setDrive(
            settings.read(QStringLiteral("paths"), QStringLiteral("Drive"), QStringLiteral("C:")));
        // Without a stored folder the drive's own current folder stands,
        // which the drive change has just moved to.
        if (settings.contains(QStringLiteral("paths"), QStringLiteral("Dir")))
            Dir->openFolder(settings.read(QStringLiteral("paths"), QStringLiteral("Dir")));
    }
    Remove->setEnabled(false);
}

void frmExplorer::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    if (!isSavePathOn(intSavePath))
        return;
    context_.settings->write(QStringLiteral("paths"), QStringLiteral("Drive"), Drive->drive());
    context_.settings->write(QStringLiteral("paths"), QStringLiteral("Dir"), Dir->path());
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
    if (name.isEmpty() || !isSupportedPictureExtension(GetExtensionName(name)))
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
    const QModelIndex current = FileList->currentIndex();
    if (!current.isValid())
        return;
    PictureOpened = slides_->entry(current.row());
    ShowPreview();
    intSlideIndex = current.row();
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
    // current (removing the first entry leaves the new first one current).
    if (FileList->currentIndex() == index) {
        FileList->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        FileList_Click();
    } else {
        FileList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

void frmExplorer::ShowPreview() {
    bool loaded = false;
    {
        const WaitCursor hourglass;
        loaded = PVPicture->LoadFile(PictureOpened);
    }
    if (!loaded)
        context_.prompter->message(
            this, QStringLiteral("Format Not supported. Unable to open picture file."),
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
    imageForm.show();
}

frmImage* frmExplorer::createImageForm() {
    return new frmImage(context_, *slides_, showState_);
}

void frmExplorer::cmdLoad_Click() {
    const std::optional<QString> chosen = context_.fileDialog->openFile(this, strSavePath);
    if (!chosen)
        return;
    strSavePath = *chosen;
    loadSlideShowFile();
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

void frmExplorer::Open_Click() {}

void frmExplorer::Exit_Click() {
    context_.programEnd->endNow();
}

void frmExplorer::mnuOpts_Click() {
    // Non-modal: the explorer stays usable while the dialog is open.
    optionsForm.show();
}

frmOptions* frmExplorer::createOptionsForm() {
    return new frmOptions(*context_.settings, intSavePath, this);
}

void frmExplorer::mnuAboutInfo_Click() {
    frmAbout* box = aboutForm.load();
    // Application-modal without a nested event loop: no other window takes
    // input until the box is closed, and closing it destroys it.
    box->setWindowModality(Qt::ApplicationModal);
    aboutForm.show();
}

frmAbout* frmExplorer::createAboutForm() {
    return new frmAbout(context_, this);
}

void frmExplorer::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
    context_.programEnd->endNow();
}
