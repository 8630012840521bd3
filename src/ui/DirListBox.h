#pragma once

#include <QListWidget>

class VolumeTable;

// The folder list: the current folder's ancestors from the root down, the
// current folder, then its subfolders. Opening an entry (double-click or
// Enter) makes it the current folder. Change is raised whenever the path
// changes.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    DirListBox(VolumeTable& volumes, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // A drive designation moves to that drive's current folder; any other
    // text to that folder. A folder that does not exist (any more) gives
    // its nearest existing ancestor, else the home folder.
    void setPath(const QString& text);
    // Goes to exactly this folder (or its nearest existing ancestor), even
    // when it is a volume's root: what opening an entry or restoring a
    // remembered folder means.
    void openFolder(const QString& folder);
    // The full path of the entry at row.
    QString entryPath(int row) const;

Q_SIGNALS:
    void Change();

private:
    void moveTo(const QString& folder);
    void fill();

    VolumeTable& volumes_;
    QString path_;
};
