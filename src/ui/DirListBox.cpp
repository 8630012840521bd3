#include "ui/DirListBox.h"

#include "files/VolumeTable.h"
#include "ui/IndentDelegate.h"

#include <QDir>
#include <QFileIconProvider>

namespace {
constexpr int PathRole = Qt::UserRole + 1;
} // namespace

DirListBox::DirListBox(VolumeTable& volumes, QWidget* parent)
    : QListWidget(parent)
    , volumes_(volumes) {
    setAccessibleName(QStringLiteral("Folders"));
    setUniformItemSizes(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openFolder(item->data(PathRole).toString()); });
}

void DirListBox::setPath(const QString& text) {
    if (volumes_.isDesignation(text))
        moveTo(volumes_.currentFolder(text));
    else
        openFolder(text);
}

void DirListBox::openFolder(const QString& folder) {
    if (QDir::isAbsolutePath(folder))
        moveTo(nearestExistingFolder(folder));
    else
        moveTo(nearestExistingFolder(
            QDir(path_.isEmpty() ? QDir::currentPath() : path_).absoluteFilePath(folder)));
}

void DirListBox::moveTo(const QString& folder) {
    const QString target = QDir::cleanPath(folder);
    if (target == path_)
        return;
    path_ = target;
    volumes_.setCurrentFolder(path_);
    fill();
    Q_EMIT Change();
}

QString DirListBox::entryPath(int row) const {
    const QListWidgetItem* entry = item(row);
    return entry ? entry->data(PathRole).toString() : QString();
}

void DirListBox::fill() {
    clear();
    const QFileIconProvider icons;
    const QIcon openIcon = icons.icon(QFileIconProvider::Folder);

    QStringList ancestors;
    for (QString walk = path_; !walk.isEmpty();) {
        ancestors.prepend(walk);
        if (walk == QLatin1String("/"))
            break;
        const qsizetype slash = walk.lastIndexOf(QLatin1Char('/'));
        walk = slash <= 0 ? QStringLiteral("/") : walk.left(slash);
    }

    int depth = 0;
    for (const QString& ancestor : std::as_const(ancestors)) {
        const QString name =
            ancestor == QLatin1String("/") ? ancestor : ancestor.mid(ancestor.lastIndexOf('/') + 1);
        auto* entry = new QListWidgetItem(openIcon, name);
        entry->setData(IndentDelegate::DepthRole, depth);
        entry->setData(PathRole, ancestor);
        entry->setToolTip(ancestor);
        addItem(entry);
        ++depth;
    }
    const int currentRow = count() - 1;

    const QStringList subfolders =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    const QString prefix = path_ == QLatin1String("/") ? path_ : path_ + QLatin1Char('/');
    for (const QString& name : subfolders) {
        auto* entry = new QListWidgetItem(openIcon, name);
        entry->setData(IndentDelegate::DepthRole, depth);
        entry->setData(PathRole, prefix + name);
        addItem(entry);
    }
    setCurrentRow(currentRow);
}
