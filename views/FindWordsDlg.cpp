#include "views/FindWordsDlg.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "views/DialogFonts.h"
#include "views/SoftKeyBar.h"

CFindWordsDlg::CFindWordsDlg(QWidget* host, QString words)
    : CFullScreenDialog(host, IDD_FIND), m_strWords(std::move(words))
{
    m_pEdit = Controls().Get<QLineEdit>(IDC_FIND_EDIT);
    SetControlFont(Controls().Control(IDC_FIND_LABEL), 9, true);
    SetControlFont(m_pEdit, 9, false);
    ClientLayout()->addStretch(1);
    connect(m_pEdit, &QLineEdit::textChanged, this, [this] { UpdateEnabling(); });
}

bool CFindWordsDlg::OnInitDialog()
{
    m_pEdit->setText(m_strWords);
    m_pEdit->setFocus(Qt::OtherFocusReason);
    // Typing replaces the last words; the arrow keys keep them.
    QTimer::singleShot(0, m_pEdit, [this] { m_pEdit->selectAll(); });
    UpdateEnabling();
    return true;
}

void CFindWordsDlg::UpdateEnabling() { SoftKeys()->EnableCommand(ID_DONE, !m_pEdit->text().trimmed().isEmpty()); }

void CFindWordsDlg::OnCommand(int id)
{
    if (id == ID_DONE) {
        const QString words = m_pEdit->text().trimmed();
        if (words.isEmpty())
            return;
        m_strWords = words;
        EndDialog(ID_DONE);
        return;
    }
    CFullScreenDialog::OnCommand(id);
}
