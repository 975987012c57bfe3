#pragma once
// Removable media as they come and go: the mount points under
// /media/$USER and /run/media/$USER (where the desktop mounts cards and
// sticks), read from QStorageInfo every second. Each poll compares the
// mounts with the previous ones and emits arrived or removed for each
// difference.
//
// The source of the mount list is a seam: tests give their own list and
// call Poll to play a card being inserted or pulled.
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class CMountWatcher : public QObject {
    Q_OBJECT
public:
    using Source = std::function<QStringList()>;

    // Starts polling at once; the first list is the baseline (no signals).
    explicit CMountWatcher(QObject* parent = nullptr, Source source = {}, int intervalMs = 1000);

    // Replaces the source; its current list becomes the new baseline.
    void SetSource(Source source);
    // Reads the source now and emits the differences.
    void Poll();
    const QStringList& Mounts() const { return m_mounts; }

    // The folders removable media are mounted under, for this user.
    static QStringList MediaRoots();
    // The mounted volumes under MediaRoots, sorted.
    static QStringList RemovableMounts();

signals:
    void arrived(const QString& mountPoint);
    void removed(const QString& mountPoint);

private:
    Source m_source;
    QStringList m_mounts;
    QTimer m_timer;
};
