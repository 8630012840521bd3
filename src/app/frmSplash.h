#pragma once

#include "seams/AppInfo.h"

#include <QWidget>

class QLabel;

// The splash screen shown while the explorer loads. A key press that yields
// a character closes it early.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(AppInfo info, QWidget* parent = nullptr);

    void Form_Load();
    void Form_KeyPress(const QString& text);

    QLabel* Label1;
    QLabel* lblPlatform;
    QLabel* lblVersion;
    QLabel* lblWarning;
    QLabel* lblCompany;
    QLabel* lblCopyright;
    QLabel* Image1;
    QLabel* imgLogo;

Q_SIGNALS:
    // Raised when a key press asks the splash to go; its Form unloads it.
    void unloadRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppInfo info_;
};

// Resizes a self-sizing label to its text, keeping its right edge.
void fitLabelToText(QLabel* label);
