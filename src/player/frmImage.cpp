#include "player/frmImage.h"

#include "desktop/KeepScreenOn.h"
#include "desktop/PointerHider.h"
#include "files/FileSystem.h"
#include "input/KeyCodes.h"
#include "input/KeyPreview.h"
#include "picture/PictureLoader.h"
#include "picture/raster/PictureFit.h"
#include "player/SlideCaption.h"
#include "player/SlideFit.h"
#include "player/SlideFrameHold.h"
#include "player/SlideLookahead.h"
#include "player/SlideWindowSize.h"
#include "seams/ProgramEnd.h"
#include "seams/Prompter.h"
#include "settings/SettingsConversions.h"
#include "settings/SettingsNames.h"
#include "settings/SettingsStore.h"
#include "show/SlideListModel.h"
#include "show/SlidePace.h"
#include "show/SlideStepper.h"
#include "ui/PictureView.h"
#include "ui/Units.h"
#include "ui/WaitCursor.h"

#include <QScreen>
#include <QTimer>
#include <thread>

frmImage::frmImage(AppContext context, const SlideListModel& slides, SlideStepper& state,
                   QWidget* parent)
    : QWidget(parent)
    , context_(context)
    , slides_(slides)
    , state_(state)
    , windowSize_(std::make_shared<SlideWindowSize>()) {
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
    // The default coarse timer may fire up to 5 % late, which adds up over
    // a long show.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &frmImage::Timer1_Timer);
    Loader = new PictureLoader(PictureView::decodeBound(), this);
    connect(Loader, &PictureLoader::prefetched, this, &frmImage::pictureDecodedAhead);
    // The window takes every key itself, before any child could and Tab
    // included, which Qt would otherwise spend on moving the focus.
    new KeyPreview(
        *this, [this](int keyCode, int shift) { Form_KeyDown(keyCode, shift); },
        KeyPreview::Then::Consume);
    // A show is watched, also when paused: the screen stays on while the
    // window is open.
    new KeepScreenOn(*this);
    pointer_ = new PointerHider(*this);
}

// Stops the workers before any child goes, so none outlives the window.
frmImage::~frmImage() {
    Loader->stop();
}

void frmImage::Form_Load() {
    Seconds = static_cast<qint16>(playerSecondsFromText(context_.settings->read(
        settingsKey::Options, settingsKey::TimerSecs, settingsKey::TimerSecsDefault)));
    ApplyInterval();
    Timer1->start();
    SlideImage->setBackColor(Qt::black);
    state_.Direction = SlideStepper::Forwards;
    // The window opens maximized: until the window system gives it that
    // size, its pictures are decoded for its screen's available area, so
    // that the first ones are decoded once at the size they are drawn at.
    // Where a title bar takes some of it, they are decoded again when the
    // window has its size, never scaled a second time.
    if (!isVisible() && screen()) {
        const QSize available = screen()->availableGeometry().size();
        windowSize_->set(available, available, devicePixelRatioF());
    }
    // Nothing is shown before the first tick, but its picture is decoded
    // now, so the first tick only swaps it in, as every later one does.
    prefetch();
}

void frmImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Opening maximizes the window only after the load handler asked for
    // the first pictures: they are fitted to the size it takes. A picture
    // on show is placed for the new size at once, scaled at paint until
    // its copy decoded for that size replaces it.
    if (prefetched_) {
        prefetch();
        placeShown();
    }
}

void frmImage::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    // The frame's size, which places the picture, becomes known when the
    // window manager frames the window, which moves it; a move to another
    // screen may change the device pixels.
    if (prefetched_) {
        prefetch();
        placeShown();
    }
}

void frmImage::placeShown() {
    if (PictureFile.isEmpty() || SlideImage->image().isNull())
        return;
    const SlidePlacement placement = placeSlide(SlideImage->pictureSize(), frameGeometry().size(),
                                                size(), SlideImage->devicePixelRatioF());
    SlideImage->setGeometry(placement.control);
    SlideImage->setPictureArea(placement.picture);
}

QSize frmImage::copySize(QSize fullSize) const {
    // As the loader fits its copies: never larger than the decode bound
    // allows, which a window larger than every screen may ask for.
    const QSize drawn = windowSize_->deviceSize(fullSize);
    const QSize largest = shrinkToFit(fullSize, PictureView::decodeBound());
    return drawn.width() <= largest.width() && drawn.height() <= largest.height() ? drawn : largest;
}

bool frmImage::shownNeedsDecode() const {
    if (PictureFile.isEmpty() || SlideImage->image().isNull())
        return false;
    const QSize copy = copySize(SlideImage->pictureSize());
    return !copy.isEmpty() && copy != SlideImage->image().size();
}

void frmImage::pictureDecodedAhead(const QString& path, bool ok) {
    // A step under way (a message box's own event loop) shows its own
    // picture next.
    if (!ok || stepping_ || path != PictureFile || !shownNeedsDecode())
        return;
    // Only a copy of the size drawn now: the window may have changed size
    // again while it was decoded, and then it is decoded once more.
    std::optional<DecodedPicture> again = Loader->takePrepared(path);
    if (!again)
        return;
    if (again->image.size() != copySize(again->fullSize)) {
        // Its decode ended before the window took its last size: asked for
        // again, a few times at most, so that a file whose decode never
        // comes out at that size is not decoded on and on.
        Loader->dropPrepared(path);
        if (++redecodes_ <= maxRedecodes)
            prefetch();
        return;
    }
    SlideImage->setPicture(std::move(*again));
    placeShown();
}

void frmImage::ApplyInterval() {
    Timer1->setInterval(SlidePace::intervalMs(Seconds));
}

void frmImage::ShowNextSlide() {
    if (stepping_)
        return;
    stepping_ = true;
    followWindowSize();
    bool shown = false;
    state_.step(slides_, [this, &shown](const QString& path) {
        PictureFile = path;
        const PresentOutcome outcome = PresentPicture(path, state_.Direction);
        shown = shown || outcome == PresentOutcome::Shown;
        return outcome;
    });
    // Asked for before the picture is drawn, so the workers decode the next
    // ones meanwhile.
    prefetch();
    // Drawn now, with its caption: keys waiting in the queue would each run
    // their step before a deferred paint, and the caption would run ahead of
    // the pictures on screen. Not before the last picture has been on screen
    // a frame, though, so that none goes unseen.
    if (shown) {
        const qreal refresh = screen() ? screen()->refreshRate() : 0;
        std::this_thread::sleep_for(
            holdBeforeNextPicture(paintedAt_, std::chrono::steady_clock::now(), refresh));
        repaint();
        paintedAt_ = std::chrono::steady_clock::now();
    }
    stepping_ = false;
}

void frmImage::followWindowSize() {
    // Before the window shows its size means nothing: what is decoded then
    // is decoded for the screen's available area, and decoded again if the
    // window takes another size.
    if (!isVisible())
        return;
    // Decodes under way decode their pictures again at the new size when
    // they are done; copies already made for an old one are dropped rather
    // than scaled a second time.
    if (windowSize_->set(frameGeometry().size(), size(), SlideImage->devicePixelRatioF())) {
        Loader->dropPrepared();
        redecodes_ = 0;
    }
}

void frmImage::prefetch() {
    followWindowSize();
    prefetched_ = true;
    // The same test the step makes before it decodes, so a prefetched
    // entry is one the step would present. The picture on show comes
    // first when it is drawn scaled: it is what the user looks at. Steps
    // that wait for their pictures (keys faster than the decodes) look one
    // further ahead: when the next picture's decode ends before this one's,
    // its worker goes on to a third rather than wait for this step.
    const int ahead = Loader->lastTakeWaited() ? 3 : 2;
    QStringList wanted = upcomingSlides(state_, slides_, ahead, 1, &canShowSlide);
    if (shownNeedsDecode() && !wanted.contains(PictureFile))
        wanted.prepend(PictureFile);
    Loader->want(wanted, pictureTarget());
}

PictureTarget frmImage::pictureTarget() const {
    // Runs on a worker: reads the window's size as it is when the decode
    // is done.
    auto drawSize = [sizes = windowSize_](QSize full) {
        return sizes->deviceSize(full);
    };
    return PictureTarget{PictureView::decodeBound(), drawSize};
}

PresentOutcome frmImage::PresentPicture(const QString& path, const QString& direction) {
    Trouble trouble = Trouble::None;
    {
        // Gone before any message box: the override cursor would cover the
        // box as well.
        const WaitCursor hourglass;
        if (!canShowSlide(path))
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
    std::optional<DecodedPicture> picture = Loader->take(path, pictureTarget());
    if (!picture)
        return Trouble::CannotOpen;
    SlideImage->setPicture(std::move(*picture));
    if (SlideImage->Picture().isEmpty())
        return Trouble::CannotLayOut;
    // Placed by the window's outer size, frame and title bar included.
    const SlidePlacement placement = placeSlide(SlideImage->pictureSize(), frameGeometry().size(),
                                                size(), SlideImage->devicePixelRatioF());
    SlideImage->setGeometry(placement.control);
    SlideImage->setPictureArea(placement.picture);
    setWindowTitle(slideCaption(path, placement.layout, SlideImage->pictureSize(), direction));
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
        pointer_->hideNow();
        state_.turn();
        ShowNextSlide();
        break;
    case vk::Key5:
        pointer_->hideNow();
        state_.Direction = SlideStepper::Backwards;
        ShowNextSlide();
        break;
    case vk::Escape:
        context_.programEnd->endNow();
        break;
    case vk::Return:
        pointer_->hideNow();
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
