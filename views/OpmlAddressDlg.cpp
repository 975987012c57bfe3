#include "views/OpmlAddressDlg.h"

#include <QLineEdit>

#include "platform/FileSystem.h"
#include "subscriptions/OpmlFile.h"
#include "update/ConnectionManager.h"
#include "update/FeedFetch.h"
#include "views/ResText.h"

namespace {

const std::wstring kFileScheme = L"file://";
constexpr int kAddressLimit = 2048;

} // namespace

COpmlAddressDlg::COpmlAddressDlg(QWidget* host) : CFeedCollectDlg(host, IDS_ENTER_OPML_URL, IDS_OPML_ADDRESS)
{
    // The template's 20 characters are the search keyword's; an address
    // needs room.
    Edit()->setMaxLength(kAddressLimit);
}

COpmlAddressDlg::~COpmlAddressDlg()
{
    m_download.Reset();
    if (!m_strPath.empty())
        DeleteFile(m_strPath);
}

void COpmlAddressDlg::StartSearch(const QString& text)
{
    m_strAddress = ToWide(text);
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strAddress}, MB_ICONHAND | MB_TOPMOST};
    if (m_strAddress.compare(0, kFileScheme.size(), kFileScheme) == 0) {
        const std::wstring path = m_strAddress.substr(kFileScheme.size());
        if (!IsFile(path)) {
            FinishSearch({}, {{IDS_FILE_NOT_FOUND, {}, MB_ICONHAND | MB_TOPMOST}});
            return;
        }
        FinishWithDocument(path, false);
        return;
    }
    if (!IsWebUrl(m_strAddress)) {
        FinishSearch({}, {unsupported});
        return;
    }
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(m_strAddress)) {
        FinishSearch({}, {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    m_download.Reset();
    if (m_strPath.empty())
        m_strPath = MakePrivateDownloadPath(L"o");
    CreateFolderPath(SplitPath(m_strPath).folder);
    DeleteFile(m_strPath);
    m_download.SetConnection(connection.GetConnection());
    m_download.SetNotifyWindow(GetWindow());
    m_download.SetSizeLimit(kFeedSizeLimit);
    if (!m_download.Start(m_strAddress, m_strPath, m_dwSearchTimeout))
        FinishSearch({}, {unsupported});
}

bool COpmlAddressDlg::StopSearch()
{
    if (!m_download.IsBusy())
        return false;
    m_download.Abort(kDownloadCancelled);
    return true;
}

void COpmlAddressDlg::OnSearchMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_DOWNLOAD_DONE || lParam != reinterpret_cast<LPARAM>(&m_download) || !m_download.IsBusy())
        return;
    m_download.Reset();
    if (IsStopped() || IsDisconnected()) {
        DeleteFile(m_strPath);
        FinishSearch({}, {});
        return;
    }
    if (!IsFile(m_strPath)) {
        FinishSearch({}, {{IDS_UNSUPPORTED_URL, {m_strAddress}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    FinishWithDocument(m_strPath, true);
}

void COpmlAddressDlg::FinishWithDocument(const std::wstring& path, bool deleteAfter)
{
    const std::unique_ptr<COpmlDoc> doc = LoadOpmlFile(path);
    if (deleteAfter)
        DeleteFile(path);
    if (doc == nullptr) {
        FinishSearch({}, {});
        return;
    }
    FinishSearch(doc->outlines, {});
}
