#include "views/DescriptionViewImages.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>

#include "platform/Debug.h"
#include "update/HttpDownload.h"
#include "views/ResText.h"

namespace {

constexpr DWORD kImageTimeoutMs = 30000;
// Room for the largest picture a worker hands over (kMaxPixels at 4 bytes).
constexpr int kMemoryCacheKilobytes = 96 * 1024;

// Several views (and their workers) share the folder: one trim at a time.
std::mutex g_cacheTrimLock;

QString CacheFileOf(const QString& folder, const QString& url)
{
    return folder + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// Decodes a picture file, refusing one that would unpack past the pixel cap.
QImage Decode(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<qint64>(size.width()) * size.height() > CDescriptionImages::kMaxPixels)
        return {};
    QImage image = reader.read();
    if (image.isNull() || static_cast<qint64>(image.width()) * image.height() > CDescriptionImages::kMaxPixels)
        return {};
    if (image.width() > CDescriptionImages::kMaxKeptWidth)
        image = image.scaledToWidth(CDescriptionImages::kMaxKeptWidth, Qt::SmoothTransformation);
    return image;
}

// Drops the files used longest ago until the folder fits the cap.
void TrimCache(const QString& folder)
{
    std::lock_guard lock(g_cacheTrimLock);
    QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    qint64 total = 0;
    for (const QFileInfo& file : files)
        total += file.size();
    if (total <= CDescriptionImages::kCacheLimitBytes)
        return;
    std::sort(files.begin(), files.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() < b.lastModified(); });
    for (const QFileInfo& file : files) {
        if (total <= CDescriptionImages::kCacheLimitBytes)
            break;
        // Files still being written belong to a worker.
        if (file.fileName().contains(QLatin1String(".part")))
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            total -= file.size();
    }
}

} // namespace

CDescriptionImages::CDescriptionImages(QObject* parent) : QObject(parent), m_strCacheFolder(CacheFolder())
{
    m_images.setMaxCost(kMemoryCacheKilobytes);
}

CDescriptionImages::~CDescriptionImages()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
        m_queue.clear();
        for (CHttpDownload* download : m_running)
            download->Abort(kDownloadCancelled);
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

QString CDescriptionImages::CacheFolder()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/RSSReader");
}

bool CDescriptionImages::IsFetchable(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

CDescriptionImages::EState CDescriptionImages::Request(const QUrl& url, QImage& image)
{
    if (!IsFetchable(url))
        return EState::Refused;
    const QString key = url.toString(QUrl::FullyEncoded);
    if (const QImage* cached = m_images.object(key)) {
        image = *cached;
        return EState::Ready;
    }
    if (m_failed.contains(key))
        return EState::Failed;
    if (!m_pending.contains(key)) {
        m_pending.insert(key);
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(key);
        }
        StartWorkerIfNeeded();
        m_wake.notify_one();
    }
    return EState::Pending;
}

bool CDescriptionImages::IsIdle() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty() && m_nBusy == 0 && m_pending.isEmpty();
}

void CDescriptionImages::CancelAll()
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
        for (CHttpDownload* download : m_running)
            download->Abort(kDownloadCancelled);
    }
    ++m_nGeneration;
    m_pending.clear();
}

void CDescriptionImages::StartWorkerIfNeeded()
{
    std::lock_guard lock(m_mutex);
    if (m_nIdle > 0 || static_cast<int>(m_workers.size()) >= kMaxWorkers)
        return;
    try {
        m_workers.emplace_back(&CDescriptionImages::Worker, this);
    } catch (const std::system_error&) {
        DebugLog("CDescriptionImages::StartWorkerIfNeeded", "no thread for the images");
    }
}

void CDescriptionImages::Worker()
{
    std::unique_lock lock(m_mutex);
    while (!m_bStop) {
        if (m_queue.empty()) {
            ++m_nIdle;
            m_wake.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
            --m_nIdle;
            continue;
        }
        const QString url = m_queue.front();
        m_queue.pop_front();
        const unsigned generation = m_nGeneration;
        ++m_nBusy;
        lock.unlock();
        CResult result = Fetch(url);
        // Handed over before the worker counts itself idle, so that IsIdle
        // never reports idle while a result is on its way.
        lock.lock();
        m_arrived.push_back({url, std::move(result), generation});
        QMetaObject::invokeMethod(this, "DeliverArrivals", Qt::QueuedConnection);
        --m_nBusy;
    }
}

CDescriptionImages::CResult CDescriptionImages::Fetch(const QString& url)
{
    const QString cacheFile = CacheFileOf(m_strCacheFolder, url);
    if (QFileInfo::exists(cacheFile)) {
        CResult cached;
        cached.image = Decode(cacheFile);
        cached.ok = !cached.image.isNull();
        if (cached.ok) {
            // Touched, so that the trim drops the pictures used longest ago.
            QFile file(cacheFile);
            if (file.open(QIODevice::ReadWrite))
                file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
            return cached;
        }
        QFile::remove(cacheFile);
    }
    return Download(url, cacheFile);
}

CDescriptionImages::CResult CDescriptionImages::Download(const QString& url, const QString& cacheFile)
{
    CResult result;
    if (!QDir().mkpath(m_strCacheFolder))
        return result;
    const QString partFile = cacheFile + QStringLiteral(".part");
    CHttpDownload download;
    download.SetNotifyWindow(HWND{});
    download.SetSizeLimit(static_cast<DWORD>(kMaxImageBytes));
    {
        std::lock_guard lock(m_mutex);
        if (m_bStop)
            return result;
        m_running.push_back(&download);
    }
    if (download.Start(ToWide(url), ToWide(partFile), kImageTimeoutMs))
        WaitForSingleObject(download.GetEndEvent(), INFINITE);
    {
        std::lock_guard lock(m_mutex);
        m_running.erase(std::remove(m_running.begin(), m_running.end(), &download), m_running.end());
    }
    // A picture over the cap is refused whole, not shown cut off; so is any
    // answer but 200 (the downloader keeps a 403's page).
    const bool complete = download.Succeeded() && download.StatusCode() == 200 && !download.SizeLimitReached() &&
                          download.BytesReceived() <= static_cast<std::uint64_t>(kMaxImageBytes);
    download.Reset();
    if (complete)
        result.image = Decode(partFile);
    result.ok = !result.image.isNull();
    if (!result.ok) {
        if (complete)
            DebugLogF("CDescriptionImages::Download", "not a picture: %s", url.toUtf8().constData());
        QFile::remove(partFile);
        return result;
    }
    QFile::remove(cacheFile);
    if (!QFile::rename(partFile, cacheFile))
        QFile::remove(partFile);
    TrimCache(m_strCacheFolder);
    return result;
}

void CDescriptionImages::DeliverArrivals()
{
    std::deque<CArrival> arrived;
    {
        std::lock_guard lock(m_mutex);
        arrived.swap(m_arrived);
    }
    for (const CArrival& arrival : arrived)
        if (arrival.generation == m_nGeneration)
            OnFetched(arrival.url, arrival.result.image, arrival.result.ok);
}

void CDescriptionImages::OnFetched(const QString& url, const QImage& image, bool ok)
{
    m_pending.remove(url);
    if (!ok) {
        m_failed.insert(url);
        emit imageFailed(QUrl(url));
        return;
    }
    m_images.insert(url, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes() / 1024));
    emit imageArrived(QUrl(url));
}
