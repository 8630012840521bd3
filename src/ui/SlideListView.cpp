#include "ui/SlideListView.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

SlideListView::SlideListView(QWidget* parent)
    : QListView(parent) {
    setAccessibleName(QStringLiteral("Slide list"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        // Ctrl+click on the selected entry takes its selection away.
        if (index.isValid() && index == selectedBeforePress_ && index == selectedIndex())
            Q_EMIT Click();
    });
}

QModelIndex SlideListView::selectedIndex() const {
    if (!selectionModel())
        return {};
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first() : QModelIndex();
}

void SlideListView::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
    QListView::selectionChanged(selected, deselected);
    // Only a newly selected entry counts; losing the selection (a removal,
    // Ctrl+click, clearing) is no choice of an entry.
    if (!selected.isEmpty() && selectedIndex().isValid())
        Q_EMIT Click();
}

void SlideListView::mousePressEvent(QMouseEvent* event) {
    selectedBeforePress_ = selectedIndex();
    QListView::mousePressEvent(event);
}

QItemSelectionModel::SelectionFlags SlideListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // Qt 6.4 selects on Ctrl with a movement key even in a single-selection
    // list; here Ctrl moves only the focus frame, as in lists that select
    // several entries, and Space then selects the entry under it.
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (ctrl)
                return QItemSelectionModel::NoUpdate;
            break;
        default:
            break;
        }
    }
    return QListView::selectionCommand(index, event);
}
