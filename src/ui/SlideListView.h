#pragma once

#include <QListView>

// The slide list's list box. Click is raised once for every selection of an
// entry: when the current entry changes (mouse, arrow keys or the program),
// and when the user clicks the entry that already is the current one.
class SlideListView : public QListView {
    Q_OBJECT
public:
    explicit SlideListView(QWidget* parent = nullptr);

Q_SIGNALS:
    void Click();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The press of a click on a new entry makes it current (raising Click);
    // the click that follows must not raise it a second time.
    QPersistentModelIndex currentBeforePress_;
};
