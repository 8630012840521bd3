#include "about/frmAbout.h"

#include "ui/Artwork.h"
#include "ui/LinkLabel.h"
#include "ui/TextContrast.h"
#include "ui/Units.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace {
const QColor white(255, 255, 255);

QLabel* makeText(QWidget* parent, const char* name, QRect geometry, qreal points, bool bold,
                 const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QPalette colours = label->palette();
    // The scheme's button text colour, unless it would vanish on the white.
    colours.setColor(
        QPalette::WindowText,
        readableTextColor(QGuiApplication::palette().color(QPalette::ButtonText), white));
    colours.setColor(QPalette::Window, white);
    label->setPalette(colours);
    return label;
}

QLabel* makePicture(QWidget* parent, const char* name, QRect geometry, const QString& resource,
                    const QString& description) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QLatin1String(name));
    picture->setGeometry(geometry);
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->setPixmap(loadArtwork(resource, parent->devicePixelRatioF()));
    picture->setAccessibleName(description);
    return picture;
}
} // namespace

frmAbout::frmAbout(AppContext context, QWidget* parent)
    : QDialog(parent)
    , context_(std::move(context)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Kavelo"));
    setWindowIcon(QIcon(QStringLiteral(":/kavelo/icons/kavelo.png")));
    // Resizable, with a close box but neither minimise nor maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    resize(twipsToPixels(6525), twipsToPixels(4215));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, white);
    setPalette(background);

    // No layouts: enlarging the box only shows more background.
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(5160, 3540, 1215, 495));
    // Neither default nor cancel button: Enter works only while OK has the
    // focus, and Escape does nothing (see keyPressEvent).
    cmdOK->setAutoDefault(false);
    cmdOK->setDefault(false);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 120, 6255, 3255));
    // Plain white inside: styles such as Fusion tint a group box's inside.
    Frame1->setStyleSheet(QStringLiteral("QGroupBox#Frame1 { background-color: white;"
                                         " border: 1px solid palette(mid); border-radius: 2px;"
                                         " margin: 0px; padding: 0px; }"));
    Frame1->setAccessibleName(QStringLiteral("About Kavelo"));

    // Inside the frame, from the bottom-most up.
    Label1 = makeText(Frame1, "Label1", twipsRect(540, 2640, 5295, 315), 8.25, false,
                      QStringLiteral("Version"));
    Image2 = makePicture(Frame1, "Image2", twipsRect(60, 300, 1515, 855),
                         QStringLiteral(":/kavelo/images/small.bmp"), QStringLiteral("Picture"));
    // Over the right-hand edge of Image2.
    Image1 =
        makePicture(Frame1, "Image1", twipsRect(1500, 300, 4500, 1080),
                    QStringLiteral(":/kavelo/images/banner.jpg"), QStringLiteral("Kavelo banner"));
    Label2 = makeText(Frame1, "Label2", twipsRect(540, 2160, 5295, 315), 14.25, true,
                      QStringLiteral("Kavelo"));

    // On top of the frame.
    SWBHyperLink1 = new LinkLabel(context_.urlOpener, this);
    SWBHyperLink1->setObjectName(QStringLiteral("SWBHyperLink1"));
    SWBHyperLink1->setGeometry(twipsRect(240, 1500, 6015, 375));
    QFont linkFont(QStringLiteral("Tahoma"));
    linkFont.setPointSizeF(12);
    linkFont.setBold(true);
    linkFont.setItalic(false);
    SWBHyperLink1->setFont(linkFont);
    SWBHyperLink1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SWBHyperLink1->setColors(QColor(0, 0, 255), white, QColor(128, 0, 128));
    SWBHyperLink1->setLink(QStringLiteral("www.tessaly.example.com"),
                           QUrl(QStringLiteral("https://www.tessaly.example.com/kavelo/")));

    // OK first, so it has the focus when the box opens; the link last.
    QWidget::setTabOrder(cmdOK, SWBHyperLink1);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::Form_Load() {
    Label1->setText(QStringLiteral("Version: ") + versionText(context_.info));
}

void frmAbout::cmdOK_Click() {
    close();
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        // The box has no cancel button; QDialog would close it on Escape.
        event->ignore();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A button with the focus answers Enter as it answers Space.
        if (focusWidget() == cmdOK)
            cmdOK->click();
        else
            event->ignore();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
