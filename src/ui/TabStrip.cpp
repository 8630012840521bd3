#include "ui/TabStrip.h"

#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>

namespace {
void drawPageFrame(QWidget* widget, const QTabBar* strip, QPainter& painter,
                   const QRect& frameRect) {
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(strip);
    frame.rect = frameRect;
    frame.lineWidth = strip->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, strip);
    frame.shape = strip->shape();
    strip->style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, widget);
}

// The page area below the tab row. Some styles (Fusion) paint the selected
// tab well below the row, expecting the page of a QTabWidget to cover it;
// this child does that covering.
class Pane : public QWidget {
public:
    explicit Pane(TabStrip* strip)
        : QWidget(strip)
        , strip_(strip) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        drawPageFrame(this, strip_, painter, strip_->pageFrameRect().translated(-pos()));
    }

private:
    TabStrip* strip_;
};
} // namespace

TabStrip::TabStrip(QWidget* parent)
    : QTabBar(parent)
    , pane_(new Pane(this)) {
    // The page frame replaces the base line QTabBar draws along its bottom
    // edge, which would run across the foot of the whole strip.
    setDrawBase(false);
    setExpanding(false);
}

QRect TabStrip::pageFrameRect() const {
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    const int tabsHeight = count() > 0 ? tabRect(0).height() : 0;
    return rect().adjusted(0, qMax(0, tabsHeight - overlap), 0, 0);
}

void TabStrip::paintEvent(QPaintEvent* event) {
    {
        // Under the tabs, so the selected tab opens onto its page.
        QPainter painter(this);
        drawPageFrame(this, this, painter, pageFrameRect());
    }
    QTabBar::paintEvent(event);
}

void TabStrip::resizeEvent(QResizeEvent* event) {
    QTabBar::resizeEvent(event);
    placePane();
}

void TabStrip::tabLayoutChange() {
    QTabBar::tabLayoutChange();
    placePane();
}

void TabStrip::placePane() {
    const int tabsHeight = count() > 0 ? tabRect(0).height() : 0;
    pane_->setGeometry(rect().adjusted(0, tabsHeight, 0, 0));
}
