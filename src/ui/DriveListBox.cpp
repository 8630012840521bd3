#include "ui/DriveListBox.h"

#include "files/VolumeTable.h"

#include <QFileIconProvider>
#include <QSignalBlocker>

DriveListBox::DriveListBox(VolumeTable& volumes, QWidget* parent)
    : QComboBox(parent)
    , volumes_(volumes) {
    setAccessibleName(QStringLiteral("Drives"));
    fill();
    connect(this, &QComboBox::activated, this, [this] { Q_EMIT Change(); });
}

QString DriveListBox::drive() const {
    return currentData().toString();
}

void DriveListBox::setDrive(const QString& designationOrPath) {
    QString designation = volumes_.volumeOf(designationOrPath);
    if (designation.isEmpty())
        return;
    int index = indexOfDrive(designation);
    if (index < 0) {
        refreshVolumes();
        index = indexOfDrive(designation);
    }
    if (index < 0)
        return;
    {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index);
    }
    Q_EMIT Change();
}

void DriveListBox::showVolumeOf(const QString& path) {
    const int index = indexOfDrive(volumes_.volumeOf(path));
    if (index >= 0 && index != currentIndex()) {
        const QSignalBlocker blocker(this);
        setCurrentIndex(index);
    }
}

void DriveListBox::refreshVolumes() {
    const QString current = drive();
    volumes_.setVolumes(VolumeTable::systemVolumes());
    fill();
    showVolumeOf(current);
}

void DriveListBox::showPopup() {
    refreshVolumes();
    QComboBox::showPopup();
}

void DriveListBox::fill() {
    const QSignalBlocker blocker(this);
    const QString current = drive();
    clear();
    const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Drive);
    for (const Volume& volume : volumes_.volumes()) {
        const QString text = volume.label.isEmpty() ? volume.root
                                                    : volume.root + QStringLiteral("  [") +
                                                          volume.label + QLatin1Char(']');
        addItem(icon, text, volume.root);
    }
    const int index = indexOfDrive(current);
    setCurrentIndex(index >= 0 ? index : 0);
}

int DriveListBox::indexOfDrive(const QString& designation) const {
    return findData(designation);
}
