#pragma once

#include <QTabBar>

// A row of tabs above a framed page area, as one control: the pages are
// separate widgets laid over the area by the window that owns the strip.
// QTabBar draws only the tabs, so the strip draws the page frame itself.
class TabStrip : public QTabBar {
    Q_OBJECT
public:
    explicit TabStrip(QWidget* parent = nullptr);

    // The page frame in the strip's coordinates, from just under the tabs.
    QRect pageFrameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void tabLayoutChange() override;

private:
    void placePane();

    QWidget* pane_;
};
