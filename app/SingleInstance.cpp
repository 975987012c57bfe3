#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include "platform/Debug.h"
#include "platform/NamedEvent.h"

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kActivated[] = "activated\n";
constexpr int kAnswerMilliseconds = 1000;

// The name is a title: keep it readable, but never a path.
QString FileNameFor(const QString& name)
{
    QString file;
    for (const QChar c : name)
        file += (c == u'/' || c.unicode() < 0x20) ? QChar(u'_') : c;
    return file;
}

} // namespace

QString CSingleInstance::NameOfDataFolder(const QString& folder)
{
    const QByteArray path = QDir::cleanPath(QDir(folder).absolutePath()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("rssreader-") + QString::fromLatin1(hash);
}

CSingleInstance::CSingleInstance(const QString& name)
{
    const std::string folder = GetNamedEventFolder();
    if (name.isEmpty() || folder.empty())
        return;
    const QString base = QString::fromStdString(folder) + QLatin1Char('/') + FileNameFor(name);
    m_strLockPath = base + QStringLiteral(".lock");
    m_strSocketPath = base + QStringLiteral(".socket");
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->canReadLine())
                    return;
                if (peer->readLine() == kActivate) {
                    emit activationRequested();
                    peer->write(kActivated);
                    peer->flush();
                }
                peer->disconnectFromServer();
            });
        }
    });
}

CSingleInstance::~CSingleInstance()
{
    m_server.close();
    if (m_pLock)
        m_pLock->unlock();
}

CSingleInstance::EClaim CSingleInstance::Claim()
{
    if (m_strLockPath.isEmpty())
        return EClaim::Failed;
    m_pLock = std::make_unique<QLockFile>(m_strLockPath);
    // Never stale by age: only a lock whose process is gone is taken over.
    m_pLock->setStaleLockTime(0);
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (m_pLock->tryLock(0))
            return EClaim::First;
        if (m_pLock->error() != QLockFile::LockFailedError) {
            DebugLog("CSingleInstance::Claim", "cannot create the lock file");
            return EClaim::Failed;
        }
        if (AskRunningCopy())
            return EClaim::OtherActivated;
        QThread::msleep(kRetryMilliseconds);
    }
    DebugLog("CSingleInstance::Claim", "no answer from the running copy: starting anyway");
    m_pLock.reset();
    return EClaim::Unclaimed;
}

bool CSingleInstance::AskRunningCopy() const
{
    QLocalSocket socket;
    socket.connectToServer(m_strSocketPath);
    if (!socket.waitForConnected(kAnswerMilliseconds))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(kAnswerMilliseconds))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerMilliseconds))
            return false;
    }
    return socket.readLine() == kActivated;
}

bool CSingleInstance::Listen()
{
    if (!m_pLock || !m_pLock->isLocked())
        return false;
    // Holding the lock, any socket file left is a dead copy's.
    QLocalServer::removeServer(m_strSocketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_strSocketPath)) {
        DebugLog("CSingleInstance::Listen", m_server.errorString().toStdString());
        return false;
    }
    return true;
}
