#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QEvent;
class QWidget;

// Key preview: the window sees each key press before the control with the
// focus, as a virtual key code and shift state (input/KeyCodes.h). Watches
// the window and the children it has when the preview is made. Lives on the
// window's thread, as a child of the window.
class KeyPreview : public QObject {
public:
    using Handler = std::function<void(int keyCode, int shift)>;
    enum class Then {
        // The press goes on to the control and its parents as usual.
        PassOn,
        // The press ends at the preview: no control sees it.
        Consume,
    };

    KeyPreview(QWidget& window, Handler handler, Then then);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler handler_;
    Then then_;
    // A key press that no control takes travels up to the window, passing
    // every watched parent on the way; it is previewed only at the first.
    const QEvent* previewedKey_ = nullptr;
    QPointer<QObject> previewedAt_;
};
