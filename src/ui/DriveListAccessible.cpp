#include "ui/DriveListAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>

DriveListAccessible::DriveListAccessible(QComboBox* comboBox)
    : QAccessibleWidget(comboBox, QAccessible::ComboBox) {}

QComboBox* DriveListAccessible::comboBox() const {
    return static_cast<QComboBox*>(widget());
}

QString DriveListAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return comboBox()->currentText();
    return QAccessibleWidget::text(t);
}

int DriveListAccessible::childCount() const {
    return comboBox()->view() ? 1 : 0;
}

QAccessibleInterface* DriveListAccessible::child(int index) const {
    if (index != 0 || !comboBox()->view())
        return nullptr;
    return QAccessible::queryAccessibleInterface(comboBox()->view());
}

int DriveListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    return child && comboBox()->view() && child->object() == comboBox()->view() ? 0 : -1;
}

QStringList DriveListAccessible::actionNames() const {
    return {showMenuAction(), pressAction()};
}

void DriveListAccessible::doAction(const QString& actionName) {
    if (actionName != showMenuAction() && actionName != pressAction())
        return;
    if (comboBox()->view() && comboBox()->view()->isVisible())
        comboBox()->hidePopup();
    else
        comboBox()->showPopup();
}
