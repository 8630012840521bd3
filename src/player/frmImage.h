#pragma once

#include "seams/AppContext.h"
#include "show/PresentOutcome.h"

#include <QSize>
#include <QString>
#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>

class QTimer;
class PictureLoader;
class PointerHider;
class PictureView;
struct PictureTarget;
class SlideListModel;
class SlideStepper;
class SlideWindowSize;

// The slide show player: a maximized window that presents one entry of the
// explorer's slide list per tick of Timer1, fitted and captioned, and takes
// keys to pause, step, turn and change the pace. The list and the show's
// position belong to the explorer; this window reads the list at every step
// and is destroyed when it is closed.
class frmImage : public QWidget {
    Q_OBJECT
public:
    frmImage(AppContext context, const SlideListModel& slides, SlideStepper& state,
             QWidget* parent = nullptr);
    ~frmImage() override;

    // The path the step took last from the slide list.
    QString PictureFile;
    // Display time in units of 600 ms.
    qint16 Seconds = 1;

    void Form_Load();
    // One step of the show; Timer1's tick, and the Enter, Tab and 5 keys.
    void ShowNextSlide();
    void Timer1_Timer() { ShowNextSlide(); }
    void ApplyInterval();
    // keyCode: the virtual key code; shift: the modifier mask, which no
    // key of the player looks at.
    void Form_KeyDown(int keyCode, int shift);
    PresentOutcome PresentPicture(const QString& path, const QString& direction);

    PictureView* SlideImage;
    QTimer* Timer1;
    // Decodes the next entries ahead of their steps; owned by this window,
    // so closing the player stops its work.
    PictureLoader* Loader;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    enum class Trouble { None, CannotOpen, CannotLayOut };
    // Loads path into SlideImage, places it and writes the caption.
    Trouble loadAndFit(const QString& path, const QString& direction);
    // The size a picture is decoded and drawn at in the window as it is now.
    PictureTarget pictureTarget() const;
    // Asks for the entries the next steps and a turn would show, prepared
    // for the window as it is now.
    void prefetch();
    // Brings what prepared pictures are fitted to up to the window's size.
    void followWindowSize();
    // Places the shown picture for the window as it is now.
    void placeShown();
    // The size a copy of a picture of fullSize is decoded at for the window
    // as it is now.
    QSize copySize(QSize fullSize) const;
    // Whether the shown picture's copy was decoded for another size than
    // the window draws it at now, and is scaled at paint meanwhile.
    bool shownNeedsDecode() const;
    // A picture decoded ahead reached the loader's cache: the shown one,
    // decoded again for a new window size, takes the scaled copy's place.
    void pictureDecodedAhead(const QString& path, bool ok);

    AppContext context_;
    const SlideListModel& slides_;
    SlideStepper& state_;
    // Set while a step runs: a message box of the step runs its own event
    // loop, in which the timer keeps ticking.
    bool stepping_ = false;
    // What the pictures decoded ahead are fitted to; shared with the
    // loader's workers, which read it when their decode is done.
    std::shared_ptr<SlideWindowSize> windowSize_;
    bool prefetched_ = false;
    // When the last step's picture was painted: the next is held until it
    // has been on screen a frame.
    std::optional<std::chrono::steady_clock::time_point> paintedAt_;
    // Decodes of the shown picture asked for again since the window last
    // changed size, because the one before came out for an older size.
    int redecodes_ = 0;
    static constexpr int maxRedecodes = 3;
    // Hides the pointer over the show while the mouse rests; a key that
    // steps hides it at once.
    PointerHider* pointer_ = nullptr;
};
