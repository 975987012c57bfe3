#include "views/FindResultsDlg.h"

#include "app/MessageBox.h"
#include "platform/LastError.h"
#include "store/RecordDatabase.h"
#include "views/FindWordsDlg.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

CFindResultsDlg::CFindResultsDlg(QWidget* host, QString words)
    : CPageListDlg(host, IDR_FIND_RESULTS, IDR_FIND_CONTEXT), m_strWords(std::move(words))
{
}

bool CFindResultsDlg::OnInitDialog()
{
    if (!CPageListDlg::OnInitDialog())
        return false;
    m_options = CPageListOptions(); // newest first
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    // Read once the window is up: the first search of a big store also
    // indexes what was stored since the last one.
    QMetaObject::invokeMethod(this, [this] { LoadEpisodes(); }, Qt::QueuedConnection);
    return true;
}

void CFindResultsDlg::LoadEpisodes()
{
    SetTitle(ResFormat(IDS_FOUND_TITLE, ToWide(m_strWords).c_str()));
    bool found = false;
    {
        CWaitCursor wait;
        ForgetPages();
        found = m_pages.LoadFound(ToWide(m_strWords));
        FillList();
    }
    const DWORD error = GetLastError();
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, true);
    m_bLoaded = true;
    if (!found)
        ShowMessageBox(this, ResFormat(IDS_FIND_FAILED, DescribeStoreError(error).c_str()), MB_ICONHAND);
}

void CFindResultsDlg::FindAgain()
{
    CFindWordsDlg words(this, m_strWords);
    if (words.DoModal() != ID_DONE)
        return;
    m_strWords = words.Words();
    LoadEpisodes();
}

void CFindResultsDlg::OnCommand(int id)
{
    if (id == ID_FIND_AGAIN) {
        if (m_bLoaded)
            FindAgain();
        return;
    }
    CPageListDlg::OnCommand(id);
}

void RunFind(QWidget* host)
{
    CFindWordsDlg words(host);
    if (words.DoModal() != ID_DONE)
        return;
    CFindResultsDlg results(host, words.Words());
    results.DoModal();
}
