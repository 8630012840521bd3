#pragma once

#include <QAccessibleWidget>

class QComboBox;

// What assistive technology sees of the drive list: a combo box named by
// its accessible name ("Drives") whose value is the drive shown. Qt's own
// combo box interface gives the current text as the name on Linux, so a
// screen reader would hear only "/" and never what the list is for.
class DriveListAccessible : public QAccessibleWidget {
public:
    explicit DriveListAccessible(QComboBox* comboBox);

    QString text(QAccessible::Text t) const override;
    // The list of drives that drops down.
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    QComboBox* comboBox() const;
};
