#pragma once
// A choice list (the import source, template 215; the new-subscription
// choice, whose rows can be greyed, is CNewSubscriptionDlg): one column
// "Select Menu" without header, one row per entry (a string id), the first
// row selected. "Done", Enter or a double tap ends the dialog with ID_DONE
// and the chosen entry; "Cancel" with ID_CANCEL.
#include <vector>

#include "views/FullScreenDialog.h"

class CReportList;

class CChoiceDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    CChoiceDlg(QWidget* host, UINT templateId, std::vector<UINT> entries);

    // The string id of the chosen entry; 0 when none.
    UINT Choice() const { return m_nChoice; }
    CReportList* List() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<UINT> m_entries;
    CReportList* m_pList = nullptr;
    UINT m_nChoice = 0;
};

// The import source (template 215): ID_IMPORT_FILE, ID_IMPORT_URL or
// ID_CANCEL.
int RunImportSourceDialog(QWidget* host);
