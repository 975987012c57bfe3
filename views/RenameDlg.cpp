#include "views/RenameDlg.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/Debug.h"
#include "session/ReaderSession.h"
#include "views/DialogFonts.h"
#include "views/DialogMessages.h"
#include "views/ResText.h"

CRenameDlg::CRenameDlg(QWidget* host, CReaderSession& session, COutline* outline)
    : CFullScreenDialog(host, IDD_RENAME), m_session(session), m_pOutline(outline)
{
    m_pEdit = Controls().Get<QLineEdit>(IDC_RENAME_EDIT);
    SetControlFont(Controls().Control(IDC_RENAME_LABEL), 9, true);
    ClientLayout()->addStretch(1);
}

bool CRenameDlg::OnInitDialog()
{
    if (m_pOutline == nullptr) {
        DebugLog("CRenameDlg::OnInitDialog", "m_pOutline == NULL");
        EndDialog(ID_CANCEL);
        return true;
    }
    m_pEdit->setText(ToQString(m_pOutline->DisplayName()));
    if (m_pOutline->IsFeed()) {
        SetTitle(ResString(IDS_RENAME_FEED));
        CViewMessage failure;
        if (!m_session.PrepareRename(*m_pOutline, failure)) {
            ShowViewMessage(this, failure);
            EndDialog(ID_CANCEL);
            return true;
        }
    } else {
        SetTitle(ResString(IDS_RENAME_FOLDER));
    }
    m_pEdit->setFocus(Qt::OtherFocusReason);
    m_pEdit->selectAll();
    return true;
}

void CRenameDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        if (m_pOutline == nullptr) {
            DebugLog("CRenameDlg::OnDone", "m_pOutline == NULL");
            EndDialog(ID_CANCEL);
            return;
        }
        const QString name = m_pEdit->text().trimmed();
        if (name.isEmpty())
            return;
        m_strName = ToWide(name);
        EndDialog(ID_DONE);
        return;
    }
    CFullScreenDialog::OnCommand(id);
}
