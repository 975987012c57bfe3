#include "views/MountWatcher.h"

#include <QDir>
#include <QStorageInfo>
#include <unistd.h>
#include <pwd.h>

namespace {

QString UserName()
{
    const QString fromEnvironment = qEnvironmentVariable("USER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (const passwd* entry = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString();
}

} // namespace

CMountWatcher::CMountWatcher(QObject* parent, Source source, int intervalMs) : QObject(parent)
{
    SetSource(std::move(source));
    connect(&m_timer, &QTimer::timeout, this, &CMountWatcher::Poll);
    m_timer.start(intervalMs);
}

void CMountWatcher::SetSource(Source source)
{
    m_source = source ? std::move(source) : Source(&CMountWatcher::RemovableMounts);
    m_mounts = m_source();
    m_mounts.sort();
}

void CMountWatcher::Poll()
{
    QStringList now = m_source();
    now.sort();
    if (now == m_mounts)
        return;
    const QStringList before = std::exchange(m_mounts, now);
    for (const QString& mount : before) {
        if (!now.contains(mount))
            emit removed(mount);
    }
    for (const QString& mount : now) {
        if (!before.contains(mount))
            emit arrived(mount);
    }
}

QStringList CMountWatcher::MediaRoots()
{
    const QString user = UserName();
    if (user.isEmpty())
        return {};
    return {QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user};
}

QStringList CMountWatcher::RemovableMounts()
{
    const QStringList roots = MediaRoots();
    QStringList mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString path = volume.rootPath();
        for (const QString& root : roots) {
            if (path.startsWith(root + QLatin1Char('/')))
                mounts << path;
        }
    }
    mounts.sort();
    return mounts;
}
