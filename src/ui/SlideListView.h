#pragma once

#include <QListView>

// The slide list's list box. Click is raised once for every selection of an
// entry: when an entry becomes selected (mouse, arrow keys or the program),
// and when the user clicks the entry that already is the selected one.
// Moving only the current entry (the focus arriving, Ctrl with the arrow
// keys) selects nothing and raises nothing: the entry under the focus frame
// is not one the user chose.
class SlideListView : public QListView {
    Q_OBJECT
public:
    explicit SlideListView(QWidget* parent = nullptr);

    // The selected entry, invalid when none is.
    QModelIndex selectedIndex() const;

Q_SIGNALS:
    void Click();

protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    void mousePressEvent(QMouseEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    // A press on another entry selects it (raising Click); the click that
    // follows must not raise it a second time.
    QPersistentModelIndex selectedBeforePress_;
};
