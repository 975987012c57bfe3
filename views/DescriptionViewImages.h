#pragma once
// The pictures of the description pane. A description names its images
// (<img src="http...">); the pane asks for each while it lays the document
// out, and gets it at once when it has arrived, or is told that it is on its
// way or failed (the pane shows the alt text meanwhile).
//
// Fetching runs on up to kMaxWorkers threads of this object: each takes a
// URL (a value) from the queue, reads it from the disk cache or downloads it
// with the reader's own downloader (http and https only, at most
// kMaxImageBytes), decodes it with Qt's image readers, and posts the image
// (a value) back to the GUI thread, which emits imageArrived. The GUI thread
// never waits for a worker: the destructor aborts what runs and joins the
// threads, which end within one wake-up of their download.
//
// The disk cache is the folder RSSReader under $XDG_CACHE_HOME (default
// ~/.cache), one file per URL, kept under kCacheLimitBytes by dropping the
// files used longest ago.

#include <QCache>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class CHttpDownload;

class CDescriptionImages : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxWorkers = 4;
    static constexpr qint64 kMaxImageBytes = 5 * 1024 * 1024;
    static constexpr qint64 kCacheLimitBytes = 100 * 1024 * 1024;
    // A decoded picture larger than this is refused: a small file can
    // unpack into gigabytes.
    static constexpr qint64 kMaxPixels = 16 * 1000 * 1000;
    // Wider pictures are kept at this width: the pane is never wider.
    static constexpr int kMaxKeptWidth = 2048;

    explicit CDescriptionImages(QObject* parent = nullptr);
    ~CDescriptionImages() override;
    CDescriptionImages(const CDescriptionImages&) = delete;
    CDescriptionImages& operator=(const CDescriptionImages&) = delete;

    enum class EState { Ready, Pending, Failed, Refused };
    // Ready (image filled) when the picture has arrived. Otherwise a
    // fetchable URL is queued once and stays Pending until it arrives or
    // Failed; any other URL is Refused.
    EState Request(const QUrl& url, QImage& image);
    // Only web addresses with a host are fetched.
    static bool IsFetchable(const QUrl& url);
    // $XDG_CACHE_HOME/RSSReader, else ~/.cache/RSSReader.
    static QString CacheFolder();

    // Nothing queued and no worker busy (tests wait for it).
    bool IsIdle() const;
    // Stops what is queued and running; later requests start afresh.
    void CancelAll();

signals:
    // A requested picture has arrived (on the GUI thread).
    void imageArrived(const QUrl& url);
    // A requested picture could not be had (on the GUI thread).
    void imageFailed(const QUrl& url);

private:
    struct CResult {
        QImage image;
        bool ok = false;
    };

    void StartWorkerIfNeeded();
    void Worker();
    CResult Fetch(const QString& url);
    CResult Download(const QString& url, const QString& cacheFile);
    void OnFetched(const QString& url, const QImage& image, bool ok);

private slots:
    // Takes what the workers have fetched (queued by name, so that nothing
    // but m_arrived, under m_mutex, passes between the threads).
    void DeliverArrivals();

private:
    struct CArrival {
        QString url;
        CResult result;
        unsigned generation = 0;
    };

    // The GUI thread's.
    QCache<QString, QImage> m_images;
    QSet<QString> m_pending;
    QSet<QString> m_failed;
    QString m_strCacheFolder;

    // Shared with the workers, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QString> m_queue;
    std::deque<CArrival> m_arrived;
    std::vector<CHttpDownload*> m_running;
    int m_nBusy = 0;
    int m_nIdle = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<unsigned> m_nGeneration{0}; // CancelAll makes older results stale
    std::vector<std::thread> m_workers;
};
