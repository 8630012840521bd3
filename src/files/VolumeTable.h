#pragma once

#include <QHash>
#include <QList>
#include <QString>

// A mounted volume stands in for a drive: its designation is its root path.
struct Volume {
    QString root;
    QString label;
};

// The drives the explorer offers and, for each, the folder the user was in
// last on it during this run (the process's current folder for its own
// volume, the root for the others).
class VolumeTable {
public:
    VolumeTable(QList<Volume> volumes, const QString& processFolder);
    static QList<Volume> systemVolumes();

    const QList<Volume>& volumes() const { return volumes_; }
    // Where the folder list starts when nothing is restored.
    QString processFolder() const { return processFolder_; }
    // Re-reads the mounted volumes (USB sticks come and go); current folders
    // of volumes still there are kept.
    void setVolumes(QList<Volume> volumes);

    // The designation of the volume holding path: its mount root that is the
    // longest prefix of it. Empty when none is (a relative or foreign text).
    QString volumeOf(const QString& path) const;
    bool isDesignation(const QString& text) const;

    // Where the folder list goes for a drive: the folder last used on it,
    // or the nearest folder above it that still exists.
    QString currentFolder(const QString& designation) const;
    void setCurrentFolder(const QString& folder);

private:
    QList<Volume> volumes_;
    QString processFolder_;
    QHash<QString, QString> currentFolders_;
};

// path itself when it is an existing folder, else its nearest existing
// ancestor, else the home folder.
QString nearestExistingFolder(const QString& path);

// True when prefix names path or one of its ancestors, by whole components.
bool isPathPrefix(const QString& prefix, const QString& path);
