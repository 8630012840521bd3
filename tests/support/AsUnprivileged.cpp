#include "support/AsUnprivileged.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
constexpr uid_t nobody = 65534;

void restoreGroup() {
    if (setegid(0) != 0)
        qFatal("cannot return to group root: %s", strerror(errno));
}
} // namespace

AsUnprivileged::AsUnprivileged() {
    if (geteuid() != 0) {
        active_ = true;
        return;
    }
    if (setegid(nobody) != 0)
        return;
    if (seteuid(nobody) != 0) {
        restoreGroup();
        return;
    }
    dropped_ = active_ = true;
}

AsUnprivileged::~AsUnprivileged() {
    if (!dropped_)
        return;
    if (seteuid(0) != 0)
        qFatal("cannot return to root: %s", strerror(errno));
    restoreGroup();
}
