#include "views/EpisodeListDlg.h"

#include <algorithm>

#include "session/ReaderSession.h"
#include "views/ReportList.h"
#include "views/ResText.h"
#include "views/ResourceMenu.h"
#include "views/SoftKeyBar.h"

CEpisodeListDlg::CEpisodeListDlg(QWidget* host, CReaderSession& session, std::vector<COutline*> level, COutline* feed,
                                 CRunUpdate runUpdate)
    : CPageListDlg(host, IDR_EPISODE_LIST, IDR_EPISODE_CONTEXT), m_session(session), m_level(std::move(level)),
      m_runUpdate(std::move(runUpdate))
{
    const auto found = std::find(m_level.begin(), m_level.end(), feed);
    m_bFound = feed != nullptr && found != m_level.end();
    m_nCurrent = m_bFound ? static_cast<size_t>(found - m_level.begin()) : 0;
}

COutline* CEpisodeListDlg::CurrentFeed() const { return m_bFound ? m_level[m_nCurrent] : nullptr; }

bool CEpisodeListDlg::OnInitDialog()
{
    if (!m_bFound || !CPageListDlg::OnInitDialog())
        return false;
    SoftKeys()->EnableKey(CSoftKeyBar::kLeft, static_cast<bool>(m_runUpdate));
    LoadEpisodes();
    return true;
}

void CEpisodeListDlg::LoadEpisodes()
{
    const COutline* node = CurrentFeed();
    if (node == nullptr)
        return;
    ForgetPages();
    SetTitle(ToQString(node->DisplayName().empty() ? node->xmlUrl : node->DisplayName()));
    m_bFeedStored = m_pages.LoadFeed(node->xmlUrl, m_feed) || m_feed.feedId != 0;
    m_options = m_bFeedStored ? ListOptionsOfFeed(m_feed) : CPageListOptions();
    FillList();
}

bool CEpisodeListDlg::StepFeed(int direction)
{
    const std::optional<size_t> next = m_bFound ? SiblingFeed(m_level, m_nCurrent, direction) : std::nullopt;
    if (!next)
        return false;
    m_nCurrent = *next;
    LoadEpisodes();
    return true;
}

void CEpisodeListDlg::UpdateFeed()
{
    COutline* node = CurrentFeed();
    if (!m_runUpdate || node == nullptr)
        return;
    std::vector<COutline*> feeds;
    if (!m_session.BeginUpdate(node, false, feeds))
        return;
    if (!feeds.empty())
        m_runUpdate(feeds);
    // The tree's entries hold its outlines while this list is open: the
    // account's folder follows at the tree's next turn.
    m_session.AfterUpdate({}, false);
    LoadEpisodes();
}

void CEpisodeListDlg::SaveOptions()
{
    const COutline* node = CurrentFeed();
    if (node != nullptr && m_bFeedStored)
        SaveFeedListOptions(node->xmlUrl, m_options, m_feed);
}

void CEpisodeListDlg::OnCommand(int id)
{
    if (const std::optional<int> filter = FilterOfCommand(id)) {
        m_options.filter = *filter;
        SaveOptions();
        FillList();
        List()->setFocus(Qt::OtherFocusReason);
        return;
    }
    switch (id) {
    case ID_UPDATE_FEED:
        UpdateFeed();
        return;
    case ID_PREVIOUS_FEED:
    case ID_NEXT_FEED:
        StepFeed(id == ID_PREVIOUS_FEED ? -1 : 1);
        return;
    default:
        CPageListDlg::OnCommand(id);
    }
}

void CEpisodeListDlg::InitListMenu(QMenu* popup)
{
    EnableMenuCommand(popup, ID_PREVIOUS_FEED, SiblingFeed(m_level, m_nCurrent, -1).has_value());
    EnableMenuCommand(popup, ID_NEXT_FEED, SiblingFeed(m_level, m_nCurrent, 1).has_value());
    CheckMenuRadio(popup, {ID_FILTER_ALL, ID_FILTER_UNREAD, ID_FILTER_READ, ID_FILTER_TODAY},
                   FilterCommand(m_options.filter));
}
