#pragma once
// One copy of the program per data folder. The first copy holds a lock file
// named after its data folder (NameOfDataFolder: a hash of the folder's
// path, so that starts in any language meet the same lock) in the user's
// runtime folder ($XDG_RUNTIME_DIR/rssreader, else a private folder under
// $TMPDIR or /tmp, as the named events use) and, once its window exists,
// listens on a local socket of the same name. A later
// start finds the lock taken and asks the running copy, through the socket,
// to come to the front; when it answers, the later start ends with exit code
// 1 without showing a window. While the first copy has no window yet the
// socket is not there: the later start tries again every 100 ms, 25 times,
// and then starts as a full second copy. A lock left by a copy that died is
// taken over.
//
// The lock is held for the life of the object; create it on the GUI thread
// after the QApplication.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class EClaim {
        First,          // this is the first copy: go on
        OtherActivated, // the running copy came to the front: exit with 1
        Unclaimed,      // 25 tries without an answer: start anyway
        Failed,         // no name or no folder: end without running
    };

    static constexpr int kTries = 25;
    static constexpr int kRetryMilliseconds = 100;

    explicit CSingleInstance(const QString& name);
    ~CSingleInstance() override;

    // The name of the copy that keeps the data folder: "rssreader-" and a
    // hash of the folder's absolute path.
    static QString NameOfDataFolder(const QString& folder);

    EClaim Claim();
    // First copy, once its window exists: answer later starts. False when
    // the socket cannot be opened (later starts then wait out their tries).
    bool Listen();

    QString LockPath() const { return m_strLockPath; }
    QString SocketPath() const { return m_strSocketPath; }

signals:
    // A later start asked this copy to come to the front.
    void activationRequested();

private:
    bool AskRunningCopy() const;

    QString m_strLockPath;
    QString m_strSocketPath;
    std::unique_ptr<QLockFile> m_pLock;
    QLocalServer m_server;
};
