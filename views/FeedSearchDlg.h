#pragma once
// CFeedSearchDlg (template 220, "Online Search", "Enter keyword:"): a
// keyword of 2 to 20 characters turned into candidate feeds by the keyword
// file (update/FeedSearch.h), listed, and collected one by one with "Add"
// (CFeedCollectDlg). The search first asks for a connection, then takes one
// candidate a turn of the event loop, so Cancel and the loss of the network
// stop it. A missing keyword file finds nothing: "No matches found."
#include <string>

#include "views/FeedCollectDlg.h"

class CFeedSearchDlg : public CFeedCollectDlg {
    Q_OBJECT
public:
    explicit CFeedSearchDlg(QWidget* host);
    ~CFeedSearchDlg() override;

    // The keyword file (the data folder's unless a test names another).
    void SetKeywordFile(const std::wstring& path) { m_strKeywordFile = path; }

protected:
    CFeedCollection::CSearchStep StartSearch(const QString& text) override;

private:
    void WalkOnLater();
    void WalkOn();

    std::wstring m_strKeywordFile;
};
