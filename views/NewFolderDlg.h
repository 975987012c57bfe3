#pragma once
// New folder (template 206): the name, preset "New folder" and selected
// when the edit takes the focus, and "Create at root". "Done" is enabled
// while the trimmed name is not empty and ends the dialog with ID_DONE.
#include <string>

#include "views/FullScreenDialog.h"

class QCheckBox;
class QLineEdit;

class CNewFolderDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    explicit CNewFolderDlg(QWidget* host);

    // After ID_DONE.
    const std::wstring& Name() const { return m_strName; }
    bool AtRoot() const { return m_bAtRoot; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    void UpdateEnabling();

    QLineEdit* m_pName = nullptr;
    QCheckBox* m_pAtRoot = nullptr;
    std::wstring m_strName;
    bool m_bAtRoot = false;
};
