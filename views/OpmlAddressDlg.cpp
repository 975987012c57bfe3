#include "views/OpmlAddressDlg.h"

#include <QLineEdit>

#include "platform/FileSystem.h"
#include "subscriptions/OpmlFile.h"
#include "views/ResText.h"

namespace {

constexpr int kAddressLimit = 2048;

} // namespace

COpmlAddressDlg::COpmlAddressDlg(QWidget* host)
    : CFeedCollectDlg(host, IDS_ENTER_OPML_URL, IDS_OPML_ADDRESS), m_fetch(GetWindow(), L"o")
{
    // The template's 20 characters are the search keyword's; an address
    // needs room.
    Edit()->setMaxLength(kAddressLimit);
}

COpmlAddressDlg::~COpmlAddressDlg() = default;

void COpmlAddressDlg::StartSearch(const QString& text)
{
    m_strAddress = ToWide(text);
    const CViewMessage unsupported{IDS_UNSUPPORTED_URL, {m_strAddress}, MB_ICONHAND | MB_TOPMOST};
    if (std::wstring path; FileUrlPath(m_strAddress, path)) {
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
    if (!m_fetch.Connect(m_strAddress)) {
        FinishSearch({}, {{IDS_UNABLE_TO_CONNECT, {}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    if (!m_fetch.Start(m_strAddress, m_dwSearchTimeout, kFeedSizeLimit))
        FinishSearch({}, {unsupported});
}

bool COpmlAddressDlg::StopSearch()
{
    if (!m_fetch.IsRunning())
        return false;
    m_fetch.Cancel();
    return true;
}

void COpmlAddressDlg::OnSearchMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_DOWNLOAD_DONE || !m_fetch.OwnsDownload(lParam) || !m_fetch.IsRunning())
        return;
    const CDocumentFetch::EEnd end = m_fetch.Finish();
    if (IsStopped() || IsDisconnected()) {
        m_fetch.Discard();
        FinishSearch({}, {});
        return;
    }
    if (end != CDocumentFetch::EEnd::Downloaded) {
        FinishSearch({}, {{IDS_UNSUPPORTED_URL, {m_strAddress}, MB_ICONHAND | MB_TOPMOST}});
        return;
    }
    FinishWithDocument(m_fetch.Path(), true);
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
