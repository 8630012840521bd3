#include "player/frmImage.h"

#include "settings/SettingsConversions.h"
#include "settings/SettingsNames.h"
#include "settings/SettingsStore.h"
#include "seams/ProgramEnd.h"
#include "player/SlideFit.h"
#include "show/SlideStepper.h"
#include "files/FileSystem.h"
#include "input/KeyCodes.h"
#include "input/KeyPreview.h"
#include "ui/PictureView.h"
#include "seams/Prompter.h"
#include "show/SlideListModel.h"
#include "show/SlidePace.h"
#include "picture/Units.h"
#include "ui/WaitCursor.h"

#include <QTimer>

frmImage::frmImage(AppContext context, const SlideListModel& slides, SlideStepper& state,
                   QWidget* parent)
    : QWidget(parent)
    , context_(context)
    , slides_(slides)
    , state_(state) {
    setObjectName(QStringLiteral("frmImage"));
    setWindowTitle(QStringLiteral("Image"));
    setWindowIcon(QIcon(QStringLiteral(":/kavelo/icons/kavelo.png")));
    // Sizable frame with title bar, system menu and close box; no minimize
    // or maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowState(Qt::WindowMaximized);
    // The menu text colour of the desktop scheme shows around the picture.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::WindowText));
    setPalette(colours);
    setAutoFillBackground(true);
    // The window takes the keys itself; the picture never holds the focus.
    setFocusPolicy(Qt::StrongFocus);

    SlideImage = new PictureView(this);
    SlideImage->setObjectName(QStringLiteral("SlideImage"));
    SlideImage->setGeometry(twipsRect(0, 0, 6735, 4935));
    SlideImage->setFocusPolicy(Qt::NoFocus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(600);
    connect(Timer1, &QTimer::timeout, this, &frmImage::Timer1_Timer);
    // The window takes every key itself, before any child could and Tab
    // included, which Qt would otherwise spend on moving the focus.
    new KeyPreview(
        *this, [this](int keyCode, int shift) { Form_KeyDown(keyCode, shift); },
        KeyPreview::Then::Consume);
}

frmImage::~frmImage() = default;

void frmImage::Form_Load() {
    Seconds = static_cast<qint16>(playerSecondsFromText(context_.settings->read(
        settingsKey::Options, settingsKey::TimerSecs, settingsKey::TimerSecsDefault)));
    ApplyInterval();
    Timer1->start();
    SlideImage->setBackColor(Qt::black);
    state_.Direction = SlideStepper::Forwards;
}

void frmImage::ApplyInterval() {
    Timer1->setInterval(SlidePace::intervalMs(Seconds));
}

void frmImage::ShowNextSlide() {
    if (stepping_)
        return;
    stepping_ = true;
    state_.step(slides_, [this](const QString& path) {
        PictureFile = path;
        return PresentPicture(path, state_.Direction);
    });
    stepping_ = false;
}

PresentOutcome frmImage::PresentPicture(const QString& path, const QString& direction) {
    Trouble trouble = Trouble::None;
    {
        // Gone before any message box: the override cursor would cover the
        // box as well.
        const WaitCursor hourglass;
        if (!FileExists(path) || !isSupportedPictureExtension(GetExtensionName(path)))
            return PresentOutcome::Skipped;
        trouble = loadAndFit(path, direction);
        if (trouble == Trouble::None)
            return PresentOutcome::Shown;
    }
    if (trouble == Trouble::CannotOpen)
        context_.prompter->message(
            this, QStringLiteral("Format Not supported. Unable to open picture file.") + path,
            MessageIcon::Stop);
    else
        context_.prompter->message(this, QStringLiteral("Couldn't initialise screen"),
                                   MessageIcon::None);
    return PresentOutcome::Failed;
}

frmImage::Trouble frmImage::loadAndFit(const QString& path, const QString& direction) {
    if (!SlideImage->LoadFile(path))
        return Trouble::CannotOpen;
    SlideImage->setProperty9(false);
    const QSize extent = SlideImage->Picture();
    if (extent.isEmpty())
        return Trouble::CannotLayOut;
    // Fitted to the window's outer size, frame and title bar included.
    const QRect frame = frameGeometry();
    const SlideLayout layout =
        fitSlide(extent.width(), extent.height(), static_cast<float>(pixelsToTwips(frame.width())),
                 static_cast<float>(pixelsToTwips(frame.height())));
    SlideImage->setProperty9(false);
    SlideImage->setGeometry(twipsRect(layout.left, layout.top, layout.width, layout.height));
    // HIMETRIC / 26.458 drifts from the true size past about 38,000 pixels;
    // beyond the old 16-bit range the caption takes the decoder's own count.
    const QSize pixels = SlideImage->pictureSize();
    const long shownWidth = layout.pixelWidth > 32767 ? pixels.width() : layout.pixelWidth;
    const long shownHeight = layout.pixelHeight > 32767 ? pixels.height() : layout.pixelHeight;
    setWindowTitle(path + QLatin1Char(' ') + QString::number(shownWidth) + QLatin1Char('x') +
                   QString::number(shownHeight) + QLatin1Char(' ') + direction);
    return Trouble::None;
}

void frmImage::Form_KeyDown(int keyCode, int /*shift*/) {
    switch (keyCode) {
    case vk::Space:
        if (Timer1->isActive())
            Timer1->stop();
        else
            Timer1->start();
        break;
    case vk::Tab:
        state_.turn();
        ShowNextSlide();
        break;
    case vk::Key5:
        state_.Direction = SlideStepper::Backwards;
        ShowNextSlide();
        break;
    case vk::Escape:
        context_.programEnd->endNow();
        break;
    case vk::Return:
        ShowNextSlide();
        break;
    case vk::Add:
        Seconds = SlidePace::slower(Seconds);
        ApplyInterval();
        break;
    case vk::Subtract:
        Seconds = SlidePace::faster(Seconds);
        ApplyInterval();
        break;
    default:
        break;
    }
}
