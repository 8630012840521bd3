#include "ui/LinkLabel.h"

#include "seams/UrlOpener.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

LinkLabel::LinkLabel(UrlOpener* opener, QWidget* parent)
    : QLabel(parent)
    , opener_(opener) {
    setTextFormat(Qt::RichText);
    // Opening goes through the opener, never through QLabel itself, so a
    // test can see what would have been opened.
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setAutoFillBackground(true);
    connect(this, &QLabel::linkActivated, this, [this] { activate(); });
    connect(this, &QLabel::linkHovered, this, [this](const QString& link) {
        if (hovered_ == !link.isEmpty())
            return;
        hovered_ = !link.isEmpty();
        render();
    });
}

void LinkLabel::setLink(const QString& text, const QUrl& target) {
    linkText_ = text;
    target_ = target;
    setAccessibleName(text);
    setToolTip(target.toString());
    render();
}

void LinkLabel::setColors(const QColor& text, const QColor& background, const QColor& highlight) {
    textColor_ = text;
    highlight_ = highlight;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::WindowText, text);
    colours.setColor(QPalette::Link, text);
    colours.setColor(QPalette::LinkVisited, text);
    setPalette(colours);
    render();
}

void LinkLabel::activate() {
    if (opener_ && target_.isValid())
        opener_->open(target_);
}

void LinkLabel::render() {
    setText(QStringLiteral("<a href=\"%1\" style=\"color:%2\">%3</a>")
                .arg(target_.toString(QUrl::FullyEncoded).toHtmlEscaped(), linkColor().name(),
                     linkText_.toHtmlEscaped()));
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    // QLabel acts on Enter only after Tab has picked a link inside it; the
    // label holds one link, so Enter opens it as soon as the label has the
    // focus.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    // QLabel reports no end of hovering when the pointer leaves the label
    // straight from the link.
    QLabel::leaveEvent(event);
    if (hovered_) {
        hovered_ = false;
        render();
    }
}

void LinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // QLabel shows no focus of its own; keyboard users need to see it.
    QStylePainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    const int textWidth = fontMetrics().horizontalAdvance(linkText_);
    const QRect text = QStyle::alignedRect(layoutDirection(), alignment(),
                                           QSize(textWidth, fontMetrics().height()), rect());
    focus.rect = text.adjusted(-2, 0, 2, 0) & rect();
    focus.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}
