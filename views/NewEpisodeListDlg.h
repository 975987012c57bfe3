#pragma once
// The new pages of all feeds (CNewEpisodeListDlg), modal and full-screen
// over the tree: soft keys "Refresh" and "Menu" (menu bar 216), context menu
// 225. It lists the unread pages dated after the NewItemDays cutoff, the
// newest NewItemCount of them, in the order kept in the options
// (NewItemSortType, NewItemSortOrder). Its first load runs once the window
// is on screen; a page marked read stays listed, with the read image, until
// the next load.

#include "views/EpisodeListBase.h"

class CNewEpisodeListDlg : public CPageListDlg {
    Q_OBJECT
public:
    explicit CNewEpisodeListDlg(QWidget* host);

    void LoadEpisodes() override;
    // "Refresh": the left key greys until the pages are read again.
    void Refresh();
    // The first load has run.
    bool IsLoaded() const { return m_bLoaded; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void SaveOptions() override;

private:
    bool m_bLoaded = false;
};
