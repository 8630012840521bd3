#include "ui/FileListBox.h"

#include <QDir>

FileListBox::FileListBox(QWidget* parent)
    : QListWidget(parent) {
    setAccessibleName(QStringLiteral("Files"));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A mouse press moves the current row, selects it, then the release
    // clicks: raise Click once for all, when the file is selected (the
    // current row changes before the selection does), and also when the
    // user clicks the selected file.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!filling_ && !selectedFileName().isEmpty())
            Q_EMIT Click();
    });
    connect(this, &QListWidget::itemClicked, this, [this] {
        if (currentRow() == rowBeforePress_)
            Q_EMIT Click();
    });
    connect(this, &QListWidget::itemActivated, this, [this] { Q_EMIT DblClick(); });
}

void FileListBox::setPath(const QString& folder) {
    path_ = folder;
    filling_ = true;
    setUpdatesEnabled(false);
    clear();
    addItems(QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
    setUpdatesEnabled(true);
    filling_ = false;
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    rowBeforePress_ = selectedFileName().isEmpty() ? -1 : currentRow();
    QListWidget::mousePressEvent(event);
}

QString FileListBox::fileName(int row) const {
    const QListWidgetItem* entry = item(row);
    return entry ? entry->text() : QString();
}

QString FileListBox::selectedFileName() const {
    const QListWidgetItem* entry = currentItem();
    return entry && entry->isSelected() ? entry->text() : QString();
}
