#include "ui/LinkLabelAccessible.h"

#include "ui/LinkLabel.h"

LinkLabelAccessible::LinkLabelAccessible(LinkLabel* label)
    : QAccessibleWidget(label, QAccessible::Link) {}

LinkLabel* LinkLabelAccessible::label() const {
    return static_cast<LinkLabel*>(widget());
}

QString LinkLabelAccessible::text(QAccessible::Text t) const {
    switch (t) {
    case QAccessible::Name:
        return label()->accessibleName().isEmpty() ? label()->linkText()
                                                   : label()->accessibleName();
    case QAccessible::Description:
    case QAccessible::Value:
        return label()->target().toString();
    default:
        return QAccessibleWidget::text(t);
    }
}

QStringList LinkLabelAccessible::actionNames() const {
    return QStringList{pressAction()} + QAccessibleWidget::actionNames();
}

void LinkLabelAccessible::doAction(const QString& actionName) {
    if (actionName == pressAction())
        label()->activate();
    else
        QAccessibleWidget::doAction(actionName);
}
