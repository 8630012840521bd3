#pragma once

// Users of the window reach the slide list box as a list view.
#include "ui/SlideListView.h"

class QAction;
class QMainWindow;
class QMenu;
class QPushButton;
class DirListBox;
class DriveListBox;
class FileListBox;
class PictureView;
class SlideListModel;
class VolumeTable;

// The explorer's controls and menus as designed: names, captions, pictures,
// places and tab order, the way a designer file would build them. The
// window inherits the members, so its handlers reach the controls by name.
class ExplorerControls {
public:
    DriveListBox* Drive = nullptr;
    DirListBox* Dir = nullptr;
    SlideListView* FileList = nullptr;
    PictureView* PVPicture = nullptr;
    FileListBox* FileLst = nullptr;
    QPushButton* cmdLoad = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* Select = nullptr;
    QPushButton* SlideShow = nullptr;
    QPushButton* btnExit = nullptr;
    QPushButton* Remove = nullptr;
    QMenu* filemenu = nullptr;
    QAction* Open = nullptr;
    QAction* Exit = nullptr;
    QAction* mnuOpts = nullptr;
    QMenu* mnuAbout = nullptr;
    QAction* mnuAboutInfo = nullptr;

protected:
    // Builds everything into window, whose client area becomes fixed at the
    // designed size.
    void setupControls(QMainWindow* window, VolumeTable& volumes, SlideListModel* slides);

private:
    void setupMenus(QMainWindow* window);
};
