#include "platform/qt/qt_session_lock.h"

#include <QtCore/QObject>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>

#include <unistd.h>

namespace domora {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");

class QtSessionLockWatch : public QObject, public SessionLockWatch {
    Q_OBJECT

public:
    QtSessionLockWatch() {
        // The screensavers say so on the session bus, from whichever sender
        // owns the name; both of the freedesktop paths are in use. Only a
        // bus the session names: without one, asking for it would start a
        // bus daemon of its own on the display.
        QDBusConnection session = qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
                                      ? QDBusConnection(QStringLiteral("none"))
                                      : QDBusConnection::sessionBus();
        if (session.isConnected()) {
            for (const char* path : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"}) {
                session.connect(QString(), QString::fromLatin1(path), QStringLiteral("org.freedesktop.ScreenSaver"),
                                QStringLiteral("ActiveChanged"), this, SLOT(screensaver_changed(bool)));
            }
            session.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
                            QStringLiteral("ActiveChanged"), this, SLOT(screensaver_changed(bool)));
        }
        // logind names the session of this process; asked without waiting,
        // so that a slow or missing logind never holds up the start.
        QDBusConnection system = QDBusConnection::systemBus();
        if (!system.isConnected()) return;
        QDBusMessage ask = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                          QStringLiteral("org.freedesktop.login1.Manager"),
                                                          QStringLiteral("GetSessionByPID"));
        ask << static_cast<quint32>(::getpid());
        auto* pending = new QDBusPendingCallWatcher(system.asyncCall(ask, 5000), this);
        QObject::connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
            const QDBusPendingReply<QDBusObjectPath> reply = *call;
            call->deleteLater();
            if (reply.isError()) return;
            QDBusConnection::systemBus().connect(kLogin, reply.value().path(), QStringLiteral("org.freedesktop.login1.Session"),
                                                 QStringLiteral("Lock"), this, SLOT(session_locked()));
        });
    }

    void watch(void (*on_lock)()) override { m_on_lock = on_lock; }

private slots:
    void session_locked() {
        if (m_on_lock) m_on_lock();
    }
    void screensaver_changed(bool active) {
        if (active && m_on_lock) m_on_lock();
    }

private:
    void (*m_on_lock)() = nullptr;
};

}  // namespace

std::unique_ptr<SessionLockWatch> make_qt_session_lock_watch() { return std::make_unique<QtSessionLockWatch>(); }

}  // namespace domora

#include "qt_session_lock.moc"
