#pragma once

#include "ui/ActivationWatch.h"

#include <QDialog>
#include <QList>
#include <QVariant>
#include <functional>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSlider;
class QTabBar;
class SettingsStore;

// The options dialog: the display time of the slide show on the "Slideshow"
// tab and whether the explorer remembers its drive and folder on the
// "Desktop" tab. Apply and OK store both and announce the explorer's new
// flag through savePathApplied; whoever made the dialog sets the flag.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    // intSavePath: reads the explorer's remember-location flag as it stands
    // now. Asked at every activation, never kept: the dialog is made before
    // the explorer has read the stored flag, and the flag changes by Apply.
    frmOptions(SettingsStore& settings, std::function<QVariant()> intSavePath,
               QWidget* parent = nullptr);

    void Form_Load();
    void Form_Activate();
    // Sees every key before the focused control; keyCode and shift as in
    // input/KeyCodes.h.
    void Form_KeyDown(int keyCode, int shift);
    void tbsOptions_Click();
    void TimerSecs_Click();
    void cmdApply_Click();
    void cmdOK_Click();
    void cmdCancel_Click();

    QTabBar* tbsOptions;
    // Element i is the page of tab i + 1.
    QList<QWidget*> picOptions;
    QSlider* TimerSecs;
    QLabel* lblTimerSecs;
    QCheckBox* chkSavePath;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QPushButton* cmdApply;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

Q_SIGNALS:
    // Apply and OK set the explorer's flag to this value (1 or 0).
    void savePathApplied(const QVariant& intSavePath);

private:
    void buildControls();

    SettingsStore& settings_;
    // Activation rereads the stored values only when the user comes back
    // from another of the program's windows (or first sees the dialog), so
    // a trip to another application keeps unapplied changes.
    ActivationWatch activation_;
    std::function<QVariant()> intSavePath_;
};
