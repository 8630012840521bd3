#include "ui/AccessibleFactory.h"

#include "ui/DriveListAccessible.h"
#include "ui/DriveListBox.h"
#include "ui/LinkLabel.h"
#include "ui/LinkLabelAccessible.h"
#include "ui/PictureView.h"

#include <QAccessible>

namespace {
// Qt asks for the most derived class name first, so these win over its own
// interfaces for the base classes.
QAccessibleInterface* programInterface(const QString& className, QObject* object) {
    if (className == QLatin1String("DriveListBox"))
        return new DriveListAccessible(static_cast<DriveListBox*>(object));
    if (className == QLatin1String("LinkLabel"))
        return new LinkLabelAccessible(static_cast<LinkLabel*>(object));
    if (className == QLatin1String("PictureView"))
        return new QAccessibleWidget(static_cast<PictureView*>(object), QAccessible::Graphic);
    return nullptr;
}
} // namespace

void installAccessibleFactories() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(&programInterface);
}
