#include "update/UpdateTriggers.h"

#include "platform/ConnMgr.h"

bool ShouldUpdateOnStartup(const CSetting& setting, bool treeLoaded)
{
    return treeLoaded && setting.GetUpdateOnStartup() != 0;
}

bool ShouldUpdateOnTimer(const CSetting& setting, const CTimerTickState& state)
{
    if (state.bUpdateLocked || !state.bViewInitialised || state.bForegroundIsViewChild)
        return false;
    return setting.IsUpdateDue();
}

bool ShouldUpdateOnConnected(const CSetting& setting, WPARAM status, bool handlingDisconnect)
{
    return status != 0 && !handlingDisconnect && setting.GetUpdateOnConnected() != 0;
}

CStatusReaction ReactToConnectionStatus(WPARAM status)
{
    switch (status) {
    case CONNMGR_STATUS_DISCONNECTED:
    case CONNMGR_STATUS_CONNECTIONCANCELED:
        return {true, true};
    case CONNMGR_STATUS_SUSPENDED:
        return {false, true};
    default:
        return {};
    }
}

std::optional<CViewMessage> NewPagesNotice(const CSetting& setting, bool automatic,
                                           const std::vector<CFeedUpdateResult>& results)
{
    if (!automatic || setting.GetNotifyNewPages() == 0)
        return std::nullopt;
    int pages = 0, feeds = 0;
    for (const CFeedUpdateResult& result : results) {
        if (result.outcome == CFeedOutcome::Updated && result.newPages > 0) {
            pages += result.newPages;
            ++feeds;
        }
    }
    if (pages == 0)
        return std::nullopt;
    if (feeds > 1)
        return CViewMessage{IDS_NEW_PAGES_IN_FEEDS, {std::to_wstring(pages), std::to_wstring(feeds)}, MB_ICONASTERISK};
    if (pages > 1)
        return CViewMessage{IDS_NEW_PAGES_IN_ONE_FEED, {std::to_wstring(pages)}, MB_ICONASTERISK};
    return CViewMessage{IDS_NEW_PAGE_IN_ONE_FEED, {}, MB_ICONASTERISK};
}
