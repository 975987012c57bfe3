#include "views/NewFolderDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "views/DialogFonts.h"
#include "views/ResText.h"
#include "views/SoftKeyBar.h"

CNewFolderDlg::CNewFolderDlg(QWidget* host) : CFullScreenDialog(host, IDD_NEW_FOLDER)
{
    m_pName = Controls().Get<QLineEdit>(IDC_FOLDER_EDIT);
    m_pAtRoot = Controls().Get<QCheckBox>(IDC_CREATE_AT_ROOT);
    SetControlFont(Controls().Control(IDC_FOLDER_LABEL), 9, true);
    ClientLayout()->addStretch(1);
    connect(m_pName, &QLineEdit::textChanged, this, [this] { UpdateEnabling(); });
}

bool CNewFolderDlg::OnInitDialog()
{
    m_pName->setText(ResString(IDS_NEW_FOLDER));
    m_pAtRoot->setChecked(false);
    m_pName->setFocus(Qt::OtherFocusReason);
    // All of the preset is selected, so typing replaces it.
    QTimer::singleShot(0, m_pName, [this] { m_pName->selectAll(); });
    UpdateEnabling();
    return true;
}

void CNewFolderDlg::UpdateEnabling() { SoftKeys()->EnableCommand(ID_DONE, !m_pName->text().trimmed().isEmpty()); }

void CNewFolderDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        const QString name = m_pName->text().trimmed();
        if (name.isEmpty())
            return;
        m_strName = ToWide(name);
        m_bAtRoot = m_pAtRoot->isChecked();
        EndDialog(ID_DONE);
        return;
    }
    CFullScreenDialog::OnCommand(id);
}
