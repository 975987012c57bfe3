#pragma once
// The About view (dialog 100, soft key "Done"): the program's logo (bitmap
// 241) above a description pane that shows a centred table of the program's
// name, its version and the company and legal notice of its version
// information.

#include <QString>

#include "views/FullScreenDialog.h"

class CDescriptionView;

// The program's version information.
struct CVersionInfo {
    QString productVersion; // "major,minor,patch,build", as version resources write it
    QString companyName;
    QString legalCopyright;
};
CVersionInfo ProgramVersionInfo();

class CAboutDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* host);

    // The table the pane shows.
    static QString AboutDocument(const CVersionInfo& version);
    CDescriptionView* Pane() const { return m_pPane; }

protected:
    bool OnInitDialog() override;

private:
    CDescriptionView* m_pPane = nullptr;
};
