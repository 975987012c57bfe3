#include "app/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "platform/Debug.h"
#include "views/ResText.h"

namespace {

// The action a notice's click invokes.
constexpr char kDefaultAction[] = "default";
constexpr int kServerDecidesTimeout = -1;

} // namespace

CDesktopNotifier::CDesktopNotifier(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus))
{
    if (!m_bus.isConnected())
        return;
    // From whichever process owns the service name.
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(OnClosed(uint, uint)));
}

bool CDesktopNotifier::Notify(const QString& text)
{
    if (!m_bus.isConnected()) {
        DebugLog("CDesktopNotifier::Notify", "no session bus: " + text.toStdString());
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("rssreader"));
    call << ResString(IDS_APP_TITLE) << m_nLastId << QStringLiteral("rssreader") << text << QString()
         << QStringList{QString::fromLatin1(kDefaultAction), ResString(IDS_NOTICE_SHOW)} << hints
         << kServerDecidesTimeout;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isError())
            DebugLog("CDesktopNotifier::Notify", reply.error().message().toStdString());
        else
            m_nLastId = reply.value();
        finished->deleteLater();
    });
    return true;
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& action)
{
    if (id != 0 && id == m_nLastId && action == QLatin1String(kDefaultAction))
        emit activated();
}

void CDesktopNotifier::OnClosed(uint id, uint)
{
    // Closed notices are not replaced: the next one is a new notice.
    if (id == m_nLastId)
        m_nLastId = 0;
}
