#pragma once

#include <QAccessibleWidget>

class LinkLabel;

// The link label as assistive technology sees it: a link named by its
// visible text, described by its target, that the press action opens.
// QLabel would expose it as static text with nothing to activate.
class LinkLabelAccessible : public QAccessibleWidget {
public:
    explicit LinkLabelAccessible(LinkLabel* label);

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;

private:
    LinkLabel* label() const;
};
