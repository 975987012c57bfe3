#include "views/NewEpisodeListDlg.h"

#include "update/Setting.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"
#include "views/WaitCursor.h"

CNewEpisodeListDlg::CNewEpisodeListDlg(QWidget* host) : CPageListDlg(host, IDR_NEW_ITEMS, IDR_NEW_ITEMS_CONTEXT)
{
    SetTitle(ResString(IDS_NEW_ITEMS_TITLE));
}

bool CNewEpisodeListDlg::OnInitDialog()
{
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, false);
    if (!CPageListDlg::OnInitDialog())
        return false;
    m_options = ListOptionsOfNewPages();
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, true);
    // Read once the window is up, so that it shows at once.
    QMetaObject::invokeMethod(this, [this] { LoadEpisodes(); }, Qt::QueuedConnection);
    return true;
}

void CNewEpisodeListDlg::LoadEpisodes()
{
    {
        CWaitCursor wait;
        ForgetPages();
        const CSetting& setting = CSetting::Instance();
        m_pages.LoadNew(setting.GetNewItemCutoff(), setting.GetNewItemCountValue());
        FillList();
    }
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, true);
    SoftKeys()->EnableKey(CSoftKeyBar::kRight, true);
    m_bLoaded = true;
}

void CNewEpisodeListDlg::Refresh()
{
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, false);
    // Greyed on screen now, before the read holds the thread.
    SoftKeys()->repaint();
    QMetaObject::invokeMethod(this, [this] { LoadEpisodes(); }, Qt::QueuedConnection);
}

void CNewEpisodeListDlg::SaveOptions() { SaveNewPagesOptions(m_options); }

void CNewEpisodeListDlg::OnCommand(int id)
{
    if (id == ID_REFRESH) {
        Refresh();
        return;
    }
    CPageListDlg::OnCommand(id);
}
