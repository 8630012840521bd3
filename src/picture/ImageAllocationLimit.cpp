#include "picture/ImageAllocationLimit.h"

#include <QImageReader>
#include <algorithm>

void coverDecodeBudget(qint64 budgetBytes) {
    const int budgetMegabytes = int(std::max<qint64>(1, budgetBytes >> 20));
    bool userSet = false;
    const int user = qEnvironmentVariableIntValue("QT_IMAGEIO_MAXALLOC", &userSet);
    QImageReader::setAllocationLimit(userSet && user > 0 ? std::min(user, budgetMegabytes)
                                                         : budgetMegabytes);
}
