#pragma once
// Desktop notices through the desktop's notification service: the
// org.freedesktop.Notifications interface on the session bus. A notice
// replaces the reader's previous one rather than piling up beside it, and
// offers one action, the default (a click on the notice), which the reader
// answers by coming to the front on the New list (activated()).
//
// The call goes out without waiting for the answer: the GUI thread never
// waits on the bus. Without a session bus (or a service on it), a notice is
// silently not shown.
#include <QDBusConnection>
#include <QObject>
#include <QString>

class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr char kService[] = "org.freedesktop.Notifications";
    static constexpr char kPath[] = "/org/freedesktop/Notifications";
    static constexpr char kInterface[] = "org.freedesktop.Notifications";

    // bus: where the service is looked for (the session bus, or a test's).
    explicit CDesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);

    // False when there is no bus to send it on.
    bool Notify(const QString& text);
    // The id the service gave the last notice (0 until it answered).
    uint LastId() const { return m_nLastId; }

signals:
    // The user clicked the reader's notice.
    void activated();

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    uint m_nLastId = 0;
};
