#pragma once

#include <QColor>
#include <QLabel>
#include <QUrl>

class UrlOpener;

// A label showing one link: the visible text in the text colour, turning to
// the highlight colour while the pointer is over it. Activating it (click,
// or Enter while it has the focus) opens the target through the opener.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(UrlOpener* opener, QWidget* parent = nullptr);

    void setLink(const QString& text, const QUrl& target);
    void setColors(const QColor& text, const QColor& background, const QColor& highlight);

    QString linkText() const { return linkText_; }
    QUrl target() const { return target_; }
    QColor linkColor() const { return hovered_ ? highlight_ : textColor_; }

    // What a click on the link does.
    void activate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void render();

    UrlOpener* opener_;
    QString linkText_;
    QUrl target_;
    QColor textColor_ = Qt::blue;
    QColor highlight_ = QColor(128, 0, 128);
    bool hovered_ = false;
};
