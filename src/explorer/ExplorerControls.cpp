#include "explorer/ExplorerControls.h"

#include "show/SlideListModel.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/FileListBox.h"
#include "ui/PictureView.h"
#include "ui/SlideListView.h"
#include "ui/Units.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

namespace {
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& icon, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    if (!icon.isEmpty()) {
        button->setIcon(QIcon(icon));
        button->setIconSize(QSize(16, 16));
    }
    QFont font = button->font();
    font.setPointSizeF(8.25);
    button->setFont(font);
    return button;
}

template <class Control> Control* place(Control* control, const char* name, QRect geometry) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}
} // namespace

void ExplorerControls::setupControls(QMainWindow* window, VolumeTable& volumes,
                                     SlideListModel* slides) {
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsToPixels(11790), twipsToPixels(9360));
    window->setCentralWidget(client);

    Drive = place(new DriveListBox(volumes, client), "Drive", twipsRect(240, 120, 4815, 315));
    Dir = place(new DirListBox(volumes, client), "Dir", twipsRect(240, 480, 4815, 1890));
    FileList = place(new SlideListView(client), "FileList", twipsRect(240, 5460, 4815, 3765));
    FileList->setModel(slides);
    PVPicture = place(new PictureView(client), "PVPicture", twipsRect(5820, 120, 5715, 5115));
    PVPicture->setAccessibleName(QStringLiteral("Preview"));
    // Nothing can be done in the preview, so the keyboard passes it by.
    PVPicture->setFocusPolicy(Qt::NoFocus);
    FileLst = place(new FileListBox(client), "FileLst", twipsRect(240, 2460, 4815, 2040));

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

    const QList<QWidget*> tabOrder = {Drive,   Dir,    FileList,  FileLst, cmdLoad,
                                      cmdSave, Select, SlideShow, btnExit, Remove};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    setupMenus(window);
}

void ExplorerControls::setupMenus(QMainWindow* window) {
    QMenuBar* bar = window->menuBar();
    filemenu = bar->addMenu(QStringLiteral("File"));
    filemenu->setObjectName(QStringLiteral("filemenu"));
    Open = filemenu->addAction(QStringLiteral("Open"));
    Open->setObjectName(QStringLiteral("Open"));
    Exit = filemenu->addAction(QStringLiteral("Exit"));
    Exit->setObjectName(QStringLiteral("Exit"));
    mnuOpts = bar->addAction(QStringLiteral("&Options"));
    mnuOpts->setObjectName(QStringLiteral("mnuOpts"));
    mnuAbout = bar->addMenu(QStringLiteral("About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuAboutInfo = mnuAbout->addAction(QStringLiteral("About"));
    mnuAboutInfo->setObjectName(QStringLiteral("mnuAboutInfo"));
}
