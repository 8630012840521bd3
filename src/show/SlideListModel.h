#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The slide list: the ordered picture paths of a show. One instance, owned
// by the explorer and shown by its list box; the player reads it by
// position at every step, so nobody keeps a copy. Positions are 32-bit.
class SlideListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int count() const { return static_cast<int>(entries_.size()); }
    // The entry at position, empty text outside the list.
    QString entry(int position) const;
    const QStringList& entries() const { return entries_; }

    void append(const QString& path);
    void append(const QStringList& paths);
    void removeAt(int position);
    void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QStringList entries_;
};
