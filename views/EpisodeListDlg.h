#pragma once
// The pages of one feed (CEpisodeListDlg), modal and full-screen over the
// tree: soft keys "Update" and "Menu" (menu bar 209), context menu 224. It
// steps to the feeds before and after it in its tree level (Previous Feed,
// Next Feed; folders are passed over), and keeps its filter and sort in the
// feed's record.
//
// "Update" runs the update dialog over the shown feed through the function
// it is given, under the session's update lock (nothing happens while the
// lock is held), cleans up as the tree does after an update, and reloads.
// Without that function the key is greyed.

#include "views/EpisodeListBase.h"

class CReaderSession;

class CEpisodeListDlg : public CPageListDlg {
    Q_OBJECT
public:
    // level: the outlines of the feed's tree level, folders included; feed
    // must be one of them, or the dialog ends at once with IDCANCEL (2).
    CEpisodeListDlg(QWidget* host, CReaderSession& session, std::vector<COutline*> level, COutline* feed,
                    CRunUpdate runUpdate = {});

    COutline* CurrentFeed() const;
    const FeedRecord& Feed() const { return m_feed; }

    void LoadEpisodes() override;
    // Previous Feed (-1) and Next Feed (+1): false when there is none.
    bool StepFeed(int direction);
    void UpdateFeed();

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void InitListMenu(QMenu* popup) override;
    void SaveOptions() override;
    void OnPageStateChanged(const FeedRecord& feed) override { m_feed = feed; }

private:
    CReaderSession& m_session;
    std::vector<COutline*> m_level;
    size_t m_nCurrent = 0;
    bool m_bFound = false;
    FeedRecord m_feed;
    bool m_bFeedStored = false;
    CRunUpdate m_runUpdate;
};
