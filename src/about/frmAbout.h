#pragma once

#include "seams/AppContext.h"

#include <QDialog>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class LinkLabel;

// The about box: product name, banner, version and a link to the product's
// page. Shown modal over the explorer; only OK or the close box ends it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(AppContext context, QWidget* parent = nullptr);

    void Form_Load();
    void cmdOK_Click();

    LinkLabel* SWBHyperLink1;
    QGroupBox* Frame1;
    QLabel* Label2;
    QLabel* Image1;
    QLabel* Image2;
    QLabel* Label1;
    QPushButton* cmdOK;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    AppContext context_;
};
