#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>

// A session bus of the test's own: a dbus-daemon started on first use and
// named in DBUS_SESSION_BUS_ADDRESS, before anything in the process asks
// for the session bus. Empty when dbus-daemon cannot be started.
QString privateSessionBus();

// The desktop's screen saver service, recording its calls as text:
// "Inhibit <application>" and "UnInhibit <cookie>". When hanging, the
// Inhibit calls stay unanswered until answerHeld.
class FakeScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit FakeScreenSaver(QDBusConnection bus)
        : bus_(std::move(bus)) {}
    QStringList calls;
    bool hanging = false;
    // Answers every held Inhibit with the cookie.
    void answerHeld(uint cookie);

public Q_SLOTS:
    uint Inhibit(const QString& application, const QString& reason);
    void UnInhibit(uint cookie);

private:
    QDBusConnection bus_;
    uint nextCookie_ = 40;
    QList<QDBusMessage> held_;
};

// The desktop portal's Inhibit, recording "Inhibit <flags>" and
// "Close <request path>".
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    explicit FakePortal(QDBusConnection bus)
        : bus_(std::move(bus)) {}
    QStringList calls;

public Q_SLOTS:
    QDBusObjectPath Inhibit(const QString& window, uint flags, const QVariantMap& options);

private:
    QDBusConnection bus_;
    int requests_ = 0;
};

// One request the portal handed out.
class FakePortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    FakePortalRequest(QStringList& calls, QString path, QObject* parent)
        : QObject(parent)
        , calls_(calls)
        , path_(std::move(path)) {}

public Q_SLOTS:
    void Close() { calls_.append(QStringLiteral("Close ") + path_); }

private:
    QStringList& calls_;
    QString path_;
};

// The services on a connection of their own to the private bus, each
// present or not.
struct FakeSessionServices {
    FakeSessionServices(bool screenSaver, bool portal);
    ~FakeSessionServices();

    QDBusConnection bus;
    FakeScreenSaver screenSaver;
    FakePortal portal;
};
