#include "show/SlideListModel.h"

QString SlideListModel::entry(int position) const {
    return position >= 0 && position < entries_.size() ? entries_.at(position) : QString();
}

void SlideListModel::append(const QString& path) {
    append(QStringList{path});
}

void SlideListModel::append(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    entries_.append(paths);
    endInsertRows();
}

void SlideListModel::removeAt(int position) {
    if (position < 0 || position >= count())
        return;
    beginRemoveRows(QModelIndex(), position, position);
    entries_.removeAt(position);
    endRemoveRows();
}

void SlideListModel::clear() {
    if (entries_.isEmpty())
        return;
    beginResetModel();
    entries_.clear();
    endResetModel();
}

int SlideListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant SlideListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
        return entries_.at(index.row());
    return {};
}
