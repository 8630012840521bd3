#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>

class QWidget;

// Watches a show's picture being drawn: notes when a paint of the picture
// widget ends while the window's caption differs from the one it was armed
// with, which is the moment the user sees the new picture. Lives on the
// event thread with the widgets it watches.
class PaintWatch final : public QObject {
public:
    PaintWatch(QWidget* picture, QWidget* window);
    ~PaintWatch() override;

    // Waits for the caption to differ from the current one; clock measures
    // from the caller's start.
    void arm(const QElapsedTimer& clock);
    bool painted() const { return paintedMs_ >= 0; }
    // Milliseconds on the armed clock when the paint ended; -1 before.
    double paintedMs() const { return paintedMs_; }
    // Called once after each new picture is painted.
    std::function<void()> onPainted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* picture_;
    QWidget* window_;
    QString caption_;
    QElapsedTimer clock_;
    double paintedMs_ = -1;
};
