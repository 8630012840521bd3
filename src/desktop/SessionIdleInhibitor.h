#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

class QDBusPendingCallWatcher;

// Holds off the session's idle blanking, screen lock and display power
// saving while wanted: org.freedesktop.ScreenSaver's Inhibit, or, where no
// such service answers, the desktop portal's Inhibit with the idle flag.
// No bus, or no service, leaves the session as it is, silently.
//
// Every call is asynchronous, so a service that answers late or never
// holds up nothing. An answer that comes after the inhibition stopped being
// wanted, even after this object is gone, is released at once.
//
// Thread: created, used and destroyed on the event thread; QtDBus delivers
// the answers there.
class SessionIdleInhibitor : public QObject {
    Q_OBJECT
public:
    enum class Service { ScreenSaver, Portal };

    SessionIdleInhibitor(QDBusConnection bus, QString reason, QObject* parent = nullptr);
    // Releases what it holds; an answer still due is released when it comes.
    ~SessionIdleInhibitor() override;

    void setWanted(bool wanted);
    // The service that granted the inhibition now held, if any.
    std::optional<Service> heldBy() const;

    // What releases a granted inhibition: UnInhibit with the cookie, or
    // Close on the portal's request.
    struct Grant {
        Service service;
        uint cookie = 0;
        QString request;
    };

private:
    void request();
    void answered(QDBusPendingCallWatcher& call, Service service);

    QDBusConnection bus_;
    QString reason_;
    bool wanted_ = false;
    // An Inhibit sent and not answered yet.
    QDBusPendingCallWatcher* pending_ = nullptr;
    Service next_ = Service::ScreenSaver;
    // Both services refused: asking again would only repeat the refusals.
    bool noService_ = false;
    std::optional<Grant> held_;
};
