#pragma once

#include <QStyledItemDelegate>

// Draws each entry of a list shifted right by its depth (the DepthRole of
// the entry), so a flat list reads as a path from the root down. The indent
// is drawn, never typed into the text: the text stays the folder's name,
// which is what a screen reader reads.
class IndentDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int DepthRole = Qt::UserRole + 2;
    // Logical pixels per level.
    static constexpr int IndentPerLevel = 8;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static int indentOf(const QModelIndex& index);
};
