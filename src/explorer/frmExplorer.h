#pragma once

#include "explorer/ExplorerControls.h"
#include "files/VolumeTable.h"
#include "seams/AppContext.h"
#include "show/SlideStepper.h"
#include "ui/Form.h"

#include <QMainWindow>
#include <QVariant>

class SlideListModel;
class frmImage;
class frmOptions;
class frmAbout;

// The main window: drives, folders and files on the left, the preview on
// the right, the slide list below, and the commands that act on it.
class frmExplorer : public QMainWindow, public ExplorerControls {
    Q_OBJECT
    // The show's position and direction for the whole run. Declared before
    // the player's Form so that it outlives the player, which steps it.
    SlideStepper showState_;

public:
    // volumes: the drives to offer and the process's current folder; a test
    // passes its own.
    frmExplorer(AppContext context, VolumeTable volumes, QWidget* parent = nullptr);
    ~frmExplorer() override;

    // The remember-location flag: text as read from the store, or the
    // number the options dialog sets. On only when numerically 1.
    QVariant intSavePath;
    // The slide show file last chosen in the Load or Save dialog.
    QString strSavePath;
    // The path last handed to the preview.
    QString PictureOpened;
    // The slide list position selected last.
    int intSlideIndex = 0;

    SlideListModel& slideList() { return *slides_; }
    // The slide show player, opened by the Slideshow button and destroyed
    // when it is closed; its place in the list is kept in showState().
    Form<frmImage> imageForm;
    // The options dialog, created hidden when the explorer loads, shown by
    // the Options menu and destroyed by its OK, Cancel or close box.
    Form<frmOptions> optionsForm;
    // The about box, created afresh each time the About menu opens it.
    Form<frmAbout> aboutForm;

    const AppContext& context() const { return context_; }
    // The show's position and direction for the whole run.
    SlideStepper& showState() { return showState_; }

    void Form_Load();
    void Form_Unload();
    void Drive_Change();
    void Dir_Change();
    void FileLst_Click();
    void FileLst_DblClick();
    void FileList_Click();
    void Select_Click();
    void Remove_Click();
    void SlideShow_Click();
    void cmdLoad_Click();
    void cmdSave_Click();
    void btnExit_Click();
    void Open_Click();
    void Exit_Click();
    void mnuOpts_Click();
    void mnuAboutInfo_Click();
    void ShowPreview();

    // Files handed to the program from outside (the command line, a file
    // manager): a slide show file is treated as if chosen in the Load
    // dialog, and pictures are appended as a double-click appends them.
    void openSlideShowFile(const QString& path);
    void appendPictures(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectControls();
    // The player, options dialog and about box, each made on first use.
    void makeWindows();
    void selectSlide(int position);
    // The load and save routines: both work on strSavePath and the slide list.
    void loadSlideShowFile();
    void saveSlideShowFile();

    AppContext context_;
    VolumeTable volumes_;
    SlideListModel* slides_;
    bool unloaded_ = false;
    // The view selects a neighbour by itself when the selected entry is
    // removed; that is no selection by the user.
    bool removing_ = false;
};
