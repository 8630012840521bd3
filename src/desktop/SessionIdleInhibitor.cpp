#include "desktop/SessionIdleInhibitor.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QPointer>
#include <QVariantMap>

namespace {
const QString screenSaverName = QStringLiteral("org.freedesktop.ScreenSaver");
const QString screenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString portalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString portalRequest = QStringLiteral("org.freedesktop.portal.Request");
// The portal's flag for "the session going idle"; logout, user switch and
// suspend stay allowed.
constexpr uint portalIdleFlag = 8;

QDBusMessage inhibitCall(SessionIdleInhibitor::Service service, const QString& reason) {
    if (service == SessionIdleInhibitor::Service::ScreenSaver) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            screenSaverName, screenSaverPath, screenSaverName, QStringLiteral("Inhibit"));
        call << QGuiApplication::applicationDisplayName() << reason;
        return call;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(portalName, portalPath, portalInhibit,
                                                       QStringLiteral("Inhibit"));
    // No parent window: the portal wants an exported handle for one, and
    // the inhibition is the session's, not the window's.
    call << QString() << portalIdleFlag << QVariantMap{{QStringLiteral("reason"), reason}};
    return call;
}

std::optional<SessionIdleInhibitor::Grant> grantFrom(SessionIdleInhibitor::Service service,
                                                     QDBusPendingCallWatcher& call) {
    if (call.isError())
        return std::nullopt;
    if (service == SessionIdleInhibitor::Service::ScreenSaver) {
        const QDBusPendingReply<uint> reply = call;
        if (!reply.isValid())
            return std::nullopt;
        return SessionIdleInhibitor::Grant{service, reply.value(), {}};
    }
    const QDBusPendingReply<QDBusObjectPath> reply = call;
    if (!reply.isValid())
        return std::nullopt;
    return SessionIdleInhibitor::Grant{service, 0, reply.value().path()};
}

// Fire and forget: nobody waits for the release to be confirmed.
void release(QDBusConnection& bus, const SessionIdleInhibitor::Grant& grant) {
    QDBusMessage call;
    if (grant.service == SessionIdleInhibitor::Service::ScreenSaver) {
        call = QDBusMessage::createMethodCall(screenSaverName, screenSaverPath, screenSaverName,
                                              QStringLiteral("UnInhibit"));
        call << grant.cookie;
    } else {
        call = QDBusMessage::createMethodCall(portalName, grant.request, portalRequest,
                                              QStringLiteral("Close"));
    }
    bus.send(call);
}
} // namespace

SessionIdleInhibitor::SessionIdleInhibitor(QDBusConnection bus, QString reason, QObject* parent)
    : QObject(parent)
    , bus_(std::move(bus))
    , reason_(std::move(reason)) {}

SessionIdleInhibitor::~SessionIdleInhibitor() {
    setWanted(false);
}

void SessionIdleInhibitor::setWanted(bool wanted) {
    wanted_ = wanted;
    if (wanted_ && !held_ && !pending_)
        request();
    if (!wanted_ && held_) {
        release(bus_, *held_);
        held_.reset();
    }
}

std::optional<SessionIdleInhibitor::Service> SessionIdleInhibitor::heldBy() const {
    if (!held_)
        return std::nullopt;
    return held_->service;
}

void SessionIdleInhibitor::request() {
    if (noService_ || !bus_.isConnected())
        return;
    const Service service = next_;
    // Not a child: the call must outlive this object, whose end cannot
    // cancel an inhibition the service may still grant.
    pending_ = new QDBusPendingCallWatcher(bus_.asyncCall(inhibitCall(service, reason_)));
    QPointer<SessionIdleInhibitor> self(this);
    QDBusConnection bus = bus_;
    connect(pending_, &QDBusPendingCallWatcher::finished, pending_,
            [self, bus, service](QDBusPendingCallWatcher* call) mutable {
                call->deleteLater();
                if (self) {
                    self->answered(*call, service);
                } else if (const std::optional<Grant> grant = grantFrom(service, *call)) {
                    release(bus, *grant);
                }
            });
}

void SessionIdleInhibitor::answered(QDBusPendingCallWatcher& call, Service service) {
    pending_ = nullptr;
    const std::optional<Grant> grant = grantFrom(service, call);
    if (!grant) {
        // Most desktops answer the screen saver interface; sandboxes and
        // some compositors only the portal.
        if (service == Service::ScreenSaver)
            next_ = Service::Portal;
        else
            noService_ = true;
        if (wanted_)
            request();
        return;
    }
    if (wanted_)
        held_ = grant;
    else
        release(bus_, *grant);
}
