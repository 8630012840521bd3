#include "desktop/FakeSessionServices.h"

#include <csignal>
#include <sys/prctl.h>

QString privateSessionBus() {
    static QProcess* daemon = nullptr;
    static QString address;
    if (daemon)
        return address;
    daemon = new QProcess;
    // The daemon ends with the test, however the test ends.
    daemon->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    daemon->start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    while (daemon->waitForReadyRead(10000) && !daemon->canReadLine()) {
    }
    address = QString::fromUtf8(daemon->readLine()).trimmed();
    if (!address.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    return address;
}

uint FakeScreenSaver::Inhibit(const QString& application, const QString&) {
    calls.append(QStringLiteral("Inhibit ") + application);
    if (hanging) {
        setDelayedReply(true);
        held_.append(message());
        return 0;
    }
    return nextCookie_++;
}

void FakeScreenSaver::UnInhibit(uint cookie) {
    calls.append(QStringLiteral("UnInhibit %1").arg(cookie));
}

void FakeScreenSaver::answerHeld(uint cookie) {
    for (const QDBusMessage& call : std::as_const(held_))
        bus_.send(call.createReply(cookie));
    held_.clear();
}

QDBusObjectPath FakePortal::Inhibit(const QString&, uint flags, const QVariantMap&) {
    calls.append(QStringLiteral("Inhibit %1").arg(flags));
    const QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/1/kavelo%1").arg(++requests_);
    // The request object: Close on it ends the inhibition.
    auto* request = new FakePortalRequest(calls, path, this);
    bus_.registerObject(path, request, QDBusConnection::ExportAllSlots);
    return QDBusObjectPath(path);
}

namespace {
QString freshConnectionName() {
    static int made = 0;
    return QStringLiteral("fakes%1").arg(++made);
}
} // namespace

FakeSessionServices::FakeSessionServices(bool withScreenSaver, bool withPortal)
    : bus(QDBusConnection::connectToBus(privateSessionBus(), freshConnectionName()))
    , screenSaver(bus)
    , portal(bus) {
    if (withScreenSaver) {
        bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver,
                           QDBusConnection::ExportAllSlots);
        bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"));
    }
    if (withPortal) {
        bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                           QDBusConnection::ExportAllSlots);
        bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
}

FakeSessionServices::~FakeSessionServices() {
    bus.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
    bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    QDBusConnection::disconnectFromBus(bus.name());
}
