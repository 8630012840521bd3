#pragma once

#include <QComboBox>

class VolumeTable;

// The drive list: the mounted volumes, the current one shown. Change is
// raised when the user picks a drive or the program sets one.
class DriveListBox : public QComboBox {
    Q_OBJECT
public:
    DriveListBox(VolumeTable& volumes, QWidget* parent = nullptr);

    // The current drive's designation (its volume's root path).
    QString drive() const;
    // Selects the volume holding designationOrPath and raises Change. A text
    // that names no volume leaves the current drive and raises nothing.
    void setDrive(const QString& designationOrPath);
    // Shows the volume holding path as current without raising Change, for
    // when the folder list had to fall back onto another volume.
    void showVolumeOf(const QString& path);
    void refreshVolumes();

    void showPopup() override;

Q_SIGNALS:
    void Change();

private:
    void fill();
    int indexOfDrive(const QString& designation) const;

    VolumeTable& volumes_;
};
