#pragma once
// The pages Find found (CFindResultsDlg), modal and full-screen over the
// tree: the stored pages whose titles and texts hold every word, newest
// first (at most kFindLimit), in the item list with the description pane.
// Soft keys "Find" (other words: asks again and lists anew) and "Menu" (menu
// bar 250: Mark as Read, Mark as Unread, Delete Page, Sort by, View,
// Cancel), context menu 251; the commands work as in a feed's list. The
// sort is kept for as long as the list is open. A store that cannot be
// searched says so, and the list stays empty.
#include <QString>

#include "views/EpisodeListBase.h"

class CFindResultsDlg : public CPageListDlg {
    Q_OBJECT
public:
    CFindResultsDlg(QWidget* host, QString words);

    void LoadEpisodes() override;
    const QString& Words() const { return m_strWords; }
    // The first load has run.
    bool IsLoaded() const { return m_bLoaded; }

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void SaveOptions() override {}

private:
    void FindAgain();

    QString m_strWords;
    bool m_bLoaded = false;
};

// Find from the tree: the words, then their pages; the tree refreshes its
// counts afterwards.
void RunFind(QWidget* host);
