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
