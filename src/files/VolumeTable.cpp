#include "files/VolumeTable.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace {
bool isPseudoFileSystem(const QByteArray& type) {
    static const QSet<QByteArray> pseudo = {
        "proc",        "sysfs",           "tmpfs",     "devtmpfs",
        "devpts",      "cgroup",          "cgroup2",   "securityfs",
        "pstore",      "debugfs",         "tracefs",   "configfs",
        "fusectl",     "mqueue",          "hugetlbfs", "bpf",
        "autofs",      "binfmt_misc",     "efivarfs",  "nsfs",
        "ramfs",       "rpc_pipefs",      "squashfs",  "overlay",
        "fuse.portal", "fuse.gvfsd-fuse", "nfsd",      "selinuxfs",
        "none"};
    return pseudo.contains(type);
}

bool isSystemArea(const QString& root) {
    static const QStringList areas = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                      QStringLiteral("/dev"),  QStringLiteral("/run"),
                                      QStringLiteral("/boot"), QStringLiteral("/snap")};
    if (isPathPrefix(QStringLiteral("/run/media"), root))
        return false;
    for (const QString& area : areas) {
        if (isPathPrefix(area, root))
            return true;
    }
    return false;
}
} // namespace

bool isPathPrefix(const QString& prefix, const QString& path) {
    if (prefix == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    if (!path.startsWith(prefix))
        return false;
    return path.size() == prefix.size() || path.at(prefix.size()) == QLatin1Char('/');
}

QString nearestExistingFolder(const QString& path) {
    if (!path.isEmpty() && QDir::isAbsolutePath(path)) {
        QString candidate = QDir::cleanPath(path);
        while (true) {
            if (QFileInfo(candidate).isDir())
                return candidate;
            const qsizetype slash = candidate.lastIndexOf(QLatin1Char('/'));
            if (slash <= 0)
                break;
            candidate.truncate(slash);
        }
    }
    return QDir::homePath();
}

VolumeTable::VolumeTable(QList<Volume> volumes, const QString& processFolder)
    : volumes_(std::move(volumes))
    , processFolder_(QDir::cleanPath(processFolder)) {
    const QString home = volumeOf(processFolder);
    if (!home.isEmpty())
        currentFolders_.insert(home, QDir::cleanPath(processFolder));
}

QList<Volume> VolumeTable::systemVolumes() {
    QList<Volume> result;
    result.append({QStringLiteral("/"), QString()});
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& storage : mounted) {
        const QString root = storage.rootPath();
        if (root == QLatin1String("/") || !storage.isValid() || !storage.isReady())
            continue;
        if (isPseudoFileSystem(storage.fileSystemType()) || isSystemArea(root))
            continue;
        // Containers bind-mount single files (/etc/hosts); only folders are drives.
        if (!QFileInfo(root).isDir())
            continue;
        bool seen = false;
        for (const Volume& volume : std::as_const(result))
            seen = seen || volume.root == root;
        if (!seen)
            result.append({root, storage.displayName() == root ? QString() : storage.name()});
    }
    return result;
}

void VolumeTable::setVolumes(QList<Volume> volumes) {
    volumes_ = std::move(volumes);
}

QString VolumeTable::volumeOf(const QString& path) const {
    QString best;
    for (const Volume& volume : volumes_) {
        if (isPathPrefix(volume.root, path) && volume.root.size() > best.size())
            best = volume.root;
    }
    return best;
}

bool VolumeTable::isDesignation(const QString& text) const {
    for (const Volume& volume : volumes_) {
        if (volume.root == text)
            return true;
    }
    return false;
}

QString VolumeTable::currentFolder(const QString& designation) const {
    return nearestExistingFolder(currentFolders_.value(designation, designation));
}

void VolumeTable::setCurrentFolder(const QString& folder) {
    const QString volume = volumeOf(folder);
    if (!volume.isEmpty())
        currentFolders_.insert(volume, folder);
}
