#pragma once
// Properties (template 229, "Properties"): label and value rows one under
// the other, created when the dialog opens as markup labels with the
// control ids 1000, 1001, ... in order (label, value, label, value, ...).
// A label is drawn in bold at 10 points through the markup routine
// ("<B><Font size=10>" + label + "</font></B>"); a value plainly at 10
// points, since a feed's own text may hold a "<". The rows scroll when they
// do not fit. "Done" ends the dialog.
#include <QString>
#include <utility>
#include <vector>

#include "session/ReaderSession.h"
#include "views/FullScreenDialog.h"

class QScrollArea;

class CPropertiesDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    CPropertiesDlg(QWidget* host, const std::vector<CPropertyRow>& rows);

protected:
    bool OnInitDialog() override;

private:
    std::vector<CPropertyRow> m_rows;
    QScrollArea* m_pScroll = nullptr;
};
