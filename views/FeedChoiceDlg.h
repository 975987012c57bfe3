#pragma once
// "Choose a feed" (template 310): the feeds a web page announces, one row
// each (its title and kind, or its address; FeedLinkLabel), the first
// selected. "Done", Enter or a double tap ends the dialog with ID_DONE and
// the chosen row; "Cancel" with ID_CANCEL. Enter URL and the OPML address
// dialog's Add open it when the address they fetch is a site's page that
// offers several feeds.
#include <optional>
#include <vector>

#include "content/FeedLinks.h"
#include "views/FullScreenDialog.h"

class CReportList;

class CFeedChoiceDlg : public CFullScreenDialog {
    Q_OBJECT
public:
    CFeedChoiceDlg(QWidget* host, std::vector<CFeedLink> links);

    // After ID_DONE: the index of the chosen feed.
    std::optional<size_t> Choice() const { return m_choice; }
    CReportList* List() const { return m_pList; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<CFeedLink> m_links;
    CReportList* m_pList = nullptr;
    std::optional<size_t> m_choice;
};

// Runs the dialog over the host: the chosen index, or nothing on Cancel.
std::optional<size_t> ChooseAnnouncedFeed(QWidget* host, const std::vector<CFeedLink>& links);
