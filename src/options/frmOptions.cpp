#include "options/frmOptions.h"

#include "input/KeyCodes.h"
#include "input/KeyPreview.h"
#include "settings/SettingsConversions.h"
#include "settings/SettingsNames.h"
#include "settings/SettingsStore.h"
#include "ui/TabStrip.h"
#include "ui/Units.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QWindow>

namespace {
// Where a page goes while its tab is not selected: out of view.
constexpr int hiddenPageLeft = -20000;
constexpr int shownPageLeft = 210;
// Below the tabs, inside the strip's page frame.
constexpr int pageTopBelowStrip = 500;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    // No default button: Enter must not press OK from anywhere in the dialog.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}
} // namespace

frmOptions::frmOptions(SettingsStore& settings, std::function<QVariant()> intSavePath,
                       QWidget* parent)
    : QDialog(parent)
    , settings_(settings)
    , intSavePath_(std::move(intSavePath)) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    // A dialog frame with a close box only. Owned by the explorer, so the
    // window manager keeps it out of the task bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twipsToPixels(6690), twipsToPixels(4275));
    buildControls();
    new KeyPreview(
        *this, [this](int keyCode, int shift) { Form_KeyDown(keyCode, shift); },
        KeyPreview::Then::PassOn);
    // The designed places of the pages overlap; show the first tab's page
    // from the start rather than only after the first tab change.
    tbsOptions_Click();
    // While another application is active the focus window is none, so
    // only the program's own windows mark a return that rereads.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (focus && focus != windowHandle() && isProgramWindow(focus))
            activation_.otherProgramWindowActivated();
    });
}

void frmOptions::buildControls() {
    // Created bottom-most first: the pages lie over the tab strip's area.
    auto* strip = new TabStrip(this);
    tbsOptions = strip;
    tbsOptions->setObjectName(QStringLiteral("tbsOptions"));
    tbsOptions->setGeometry(twipsRect(120, 240, 6255, 3285));
    tbsOptions->addTab(QStringLiteral("Desktop"));
    tbsOptions->setTabData(0, QStringLiteral("Desktop"));
    tbsOptions->setTabToolTip(0, QStringLiteral("Set Options for Desktop"));
    tbsOptions->addTab(QStringLiteral("Slideshow"));
    tbsOptions->setTabData(1, QStringLiteral("Slideshow"));
    tbsOptions->setTabToolTip(1, QStringLiteral("Set Options for Slideshow"));
    tbsOptions->setAccessibleName(QStringLiteral("Options pages"));

    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(2970, 3735, 1095, 375));
    cmdCancel =
        makeButton(this, "cmdCancel", QStringLiteral("Cancel"), twipsRect(4200, 3735, 1095, 375));
    cmdApply =
        makeButton(this, "cmdApply", QStringLiteral("Apply"), twipsRect(5400, 3735, 1095, 375));

    auto* desktop = new QWidget(this);
    desktop->setObjectName(QStringLiteral("picOptions0"));
    desktop->setGeometry(twipsRect(480, 2160, 5685, 1140));
    desktop->setAccessibleName(QStringLiteral("Desktop"));
    chkSavePath = new QCheckBox(QStringLiteral("Save File Path"), desktop);
    chkSavePath->setObjectName(QStringLiteral("chkSavePath"));
    chkSavePath->setGeometry(twipsRect(480, 360, 4695, 375));

    auto* slideshow = new QWidget(this);
    slideshow->setObjectName(QStringLiteral("picOptions1"));
    slideshow->setGeometry(twipsRect(480, 720, 5685, 1260));
    slideshow->setAccessibleName(QStringLiteral("Slideshow"));
    lblTimerSecs = new QLabel(QStringLiteral("Number of  seconds"), slideshow);
    lblTimerSecs->setObjectName(QStringLiteral("lblTimerSecs"));
    lblTimerSecs->setGeometry(twipsRect(480, 120, 4575, 255));
    TimerSecs = new QSlider(Qt::Horizontal, slideshow);
    TimerSecs->setObjectName(QStringLiteral("TimerSecs"));
    TimerSecs->setGeometry(twipsRect(360, 600, 4935, 615));
    TimerSecs->setRange(1, 30);
    TimerSecs->setSingleStep(1);
    TimerSecs->setPageStep(5);
    TimerSecs->setTickPosition(QSlider::TicksBelow);
    TimerSecs->setTickInterval(1);
    TimerSecs->setAccessibleName(QStringLiteral("Display time"));
    lblTimerSecs->setBuddy(TimerSecs);

    picOptions = {desktop, slideshow};

    QWidget::setTabOrder(tbsOptions, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);
    QWidget::setTabOrder(cmdCancel, cmdApply);
    QWidget::setTabOrder(cmdApply, TimerSecs);
    QWidget::setTabOrder(TimerSecs, chkSavePath);

    connect(tbsOptions, &QTabBar::currentChanged, this, [this] { tbsOptions_Click(); });
    // The label follows every move of the slider, by mouse, keyboard or
    // drag, not only a click on it.
    connect(TimerSecs, &QSlider::valueChanged, this, [this] { TimerSecs_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
}

void frmOptions::Form_Load() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2,
             area.y() + (area.height() - frameGeometry().height()) / 2);
    }
}

void frmOptions::Form_Activate() {
    const int seconds = sliderPositionFromText(settings_.read(
        settingsKey::Options, settingsKey::TimerSecs, settingsKey::TimerSecsDefault));
    // Only the program's own values, 0 and 1, have a meaning; anything
    // else shows as unchecked rather than as a third state.
    chkSavePath->setChecked(leadingNumber(intSavePath_()) == 1);
    tbsOptions->setCurrentIndex(0);
    TimerSecs->setValue(seconds);
    TimerSecs_Click();
}

void frmOptions::Form_KeyDown(int keyCode, int shift) {
    if (keyCode != vk::Tab || shift != vk::CtrlMask)
        return;
    const int tabs = tbsOptions->count();
    const int selected = tbsOptions->currentIndex() + 1;
    tbsOptions->setCurrentIndex(selected == tabs ? 0 : selected);
}

void frmOptions::tbsOptions_Click() {
    const int selected = tbsOptions->currentIndex() + 1;
    for (int i = 0; i < tbsOptions->count() && i < picOptions.size(); ++i) {
        QWidget* page = picOptions.at(i);
        if (i == selected - 1) {
            page->move(twipsToPixels(shownPageLeft), page->y());
            page->setEnabled(true);
            page->move(page->x(), tbsOptions->y() + twipsToPixels(pageTopBelowStrip));
        } else {
            page->move(twipsToPixels(hiddenPageLeft), page->y());
            page->setEnabled(false);
        }
    }
}

void frmOptions::TimerSecs_Click() {
    const int seconds = TimerSecs->value();
    lblTimerSecs->setText(QStringLiteral("Display images for ") + QString::number(seconds) +
                          (seconds < 2 ? QStringLiteral(" second") : QStringLiteral(" seconds")));
}

void frmOptions::cmdApply_Click() {
    settings_.write(settingsKey::Options, settingsKey::TimerSecs,
                    QString::number(TimerSecs->value()));
    const bool remember = chkSavePath->isChecked();
    settings_.write(settingsKey::Options, settingsKey::SavePath,
                    remember ? QStringLiteral("1") : QStringLiteral("0"));
    Q_EMIT savePathApplied(QVariant(remember ? 1 : 0));
}

void frmOptions::cmdOK_Click() {
    cmdApply_Click();
    close();
}

void frmOptions::cmdCancel_Click() {
    close();
}

bool frmOptions::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (activation_.activated())
            Form_Activate();
        break;
    default:
        break;
    }
    return QDialog::event(event);
}

void frmOptions::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        activation_.shown();
    QDialog::showEvent(event);
}

void frmOptions::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        cmdCancel_Click();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // No button is the default: Enter closes nothing and applies nothing.
        event->ignore();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
