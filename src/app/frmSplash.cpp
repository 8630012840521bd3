#include "app/frmSplash.h"

#include "ui/Artwork.h"
#include "ui/ScreenPlacement.h"
#include "ui/TextContrast.h"
#include "ui/Units.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>

namespace {
QLabel* makeLabel(QWidget* parent, const char* name, QRect geometry, const QString& family,
                  qreal points, bool bold, Qt::Alignment alignment, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    QPalette palette = label->palette();
    // The splash is white whatever the scheme: keep its text dark enough.
    palette.setColor(QPalette::WindowText,
                     readableTextColor(QGuiApplication::palette().color(QPalette::ButtonText),
                                       QColor(255, 255, 255)));
    label->setPalette(palette);
    return label;
}
} // namespace

void fitLabelToText(QLabel* label) {
    const QRect old = label->geometry();
    const QSize hint = label->sizeHint();
    label->setGeometry(old.right() + 1 - hint.width(), old.top(), hint.width(), hint.height());
}

frmSplash::frmSplash(AppInfo info, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , info_(std::move(info)) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QString());
    setFixedSize(twipsToPixels(7380), twipsToPixels(4245));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    const QString arial = QStringLiteral("Arial");
    Label1 = makeLabel(this, "Label1", twipsRect(0, 0, 6855, 375), QStringLiteral("Tahoma"), 14.25,
                       true, Qt::AlignLeft, QStringLiteral(" Kavelo"));
    QPalette band = Label1->palette();
    band.setColor(QPalette::Window, Qt::black);
    band.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(band);
    Label1->setAutoFillBackground(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    lblPlatform = makeLabel(this, "lblPlatform", twipsRect(5828, 2415, 1275, 360), arial, 15.75,
                            true, Qt::AlignRight, QStringLiteral("Platform"));
    lblVersion = makeLabel(this, "lblVersion", twipsRect(6218, 2775, 885, 285), arial, 12, true,
                           Qt::AlignRight, QStringLiteral("Version"));
    lblWarning = makeLabel(this, "lblWarning", twipsRect(278, 3735, 6855, 195), arial, 8.25, false,
                           Qt::AlignLeft, QStringLiteral("Warning"));
    lblCopyright = makeLabel(this, "lblCopyright", twipsRect(4688, 3135, 2415, 255), arial, 8.25,
                             false, Qt::AlignRight, QStringLiteral("Copyright"));
    // Created after lblCopyright so that it lies on top where the two overlap.
    lblCompany = makeLabel(this, "lblCompany", twipsRect(4688, 3345, 2415, 255), arial, 8.25, false,
                           Qt::AlignRight, QStringLiteral("Company"));

    imgLogo = new QLabel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(twipsRect(240, 480, 1680, 1545));
    imgLogo->setPixmap(
        loadArtwork(QStringLiteral(":/kavelo/icons/kavelo.png"), devicePixelRatioF()));
    imgLogo->setScaledContents(true);
    imgLogo->setAccessibleName(QStringLiteral("Kavelo icon"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(twipsRect(2520, 480, 4500, 1080));
    Image1->setPixmap(
        loadArtwork(QStringLiteral(":/kavelo/images/banner.jpg"), devicePixelRatioF()));
    Image1->setAccessibleName(QStringLiteral("Kavelo banner"));

    // Stacking from the bottom up; lblCompany lies over lblCopyright.
    for (QWidget* control : {static_cast<QWidget*>(imgLogo), static_cast<QWidget*>(lblCopyright),
                             static_cast<QWidget*>(lblCompany), static_cast<QWidget*>(lblWarning),
                             static_cast<QWidget*>(lblVersion), static_cast<QWidget*>(lblPlatform),
                             static_cast<QWidget*>(Label1), static_cast<QWidget*>(Image1)})
        control->raise();
    setFocusPolicy(Qt::StrongFocus);

    centreOnScreen(*this);
}

void frmSplash::Form_Load() {
    lblCompany->setText(QStringLiteral("Tessaly Software"));
    lblVersion->setText(QStringLiteral("Version ") + versionText(info_));
    lblPlatform->setText(QStringLiteral("Win 95/98/NT"));
    lblCopyright->setText(info_.legalCopyright);
    lblWarning->setText(QStringLiteral(
        "Warning: this program is protected by copyright law and international treaties."));
    fitLabelToText(lblVersion);
    fitLabelToText(lblPlatform);
}

void frmSplash::Form_KeyPress(const QString& text) {
    if (!text.isEmpty())
        Q_EMIT unloadRequested();
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    Form_KeyPress(event->text());
}
