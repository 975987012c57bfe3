#pragma once
// Find (template 311): the words to look for among the stored pages, at most
// 80 characters. "Done" is enabled while the trimmed words are not empty and
// ends the dialog with ID_DONE; "Cancel" with ID_CANCEL.
#include <QString>

#include "views/FullScreenDialog.h"

class QLineEdit;

class CFindWordsDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    // words: what the edit starts with (the last words looked for).
    CFindWordsDlg(QWidget* host, QString words = {});

    // After ID_DONE: the trimmed words.
    const QString& Words() const { return m_strWords; }
    QLineEdit* Edit() const { return m_pEdit; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;

private:
    void UpdateEnabling();

    QLineEdit* m_pEdit = nullptr;
    QString m_strWords;
};
