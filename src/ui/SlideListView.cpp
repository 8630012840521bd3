#include "ui/SlideListView.h"

SlideListView::SlideListView(QWidget* parent)
    : QListView(parent) {
    setAccessibleName(QStringLiteral("Slide list"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index == currentBeforePress_)
            Q_EMIT Click();
    });
}

void SlideListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListView::currentChanged(current, previous);
    if (current.isValid())
        Q_EMIT Click();
}

void SlideListView::mousePressEvent(QMouseEvent* event) {
    currentBeforePress_ = currentIndex();
    QListView::mousePressEvent(event);
}
