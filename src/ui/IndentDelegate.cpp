#include "ui/IndentDelegate.h"

int IndentDelegate::indentOf(const QModelIndex& index) {
    return qMax(0, index.data(DepthRole).toInt()) * IndentPerLevel;
}

void IndentDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem shifted = option;
    shifted.rect.setLeft(shifted.rect.left() + indentOf(index));
    QStyledItemDelegate::paint(painter, shifted, index);
}

QSize IndentDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
}
