#pragma once
// Rename (CRenameDlg, template 221): the new name of a folder or feed,
// preset with its display name. For a feed the feed record is made first
// when it is missing (the session's PrepareRename); when that write fails
// the dialog says "Error in writing in the feed database." and ends as
// Cancel. "Done" with a name that is blank after trimming keeps the dialog
// open without a word.
#include <string>

#include "views/FullScreenDialog.h"

class QLineEdit;
class CReaderSession;
struct COutline;

class CRenameDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    CRenameDlg(QWidget* host, CReaderSession& session, COutline* outline);

    // After ID_DONE: trimmed, not empty.
    const std::wstring& NewName() const { return m_strName; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    CReaderSession& m_session;
    COutline* m_pOutline;
    QLineEdit* m_pEdit = nullptr;
    std::wstring m_strName;
};
