#pragma once
// The rules that start an "Update All" without a user command: at start-up,
// on the view's periodic timer, and after a desktop synchronisation; and what
// the main window does with a change of connection status. The windows own
// the timer, the update lock and the posting; these functions only decide,
// so the rules can be checked without a screen.

#include <optional>
#include <vector>

#include "platform/WindowMessages.h"
#include "resources/ResourceIds.h"
#include "resources/ViewMessage.h"
#include "update/FeedUpdateResult.h"
#include "update/Setting.h"

inline constexpr UINT kUpdateTimerId = 1000;
inline constexpr DWORD kUpdateTimerPeriodMs = 5000;

// After the subscription tree has loaded at start-up.
bool ShouldUpdateOnStartup(const CSetting& setting, bool treeLoaded);

// What the channel tree view knows on a tick of its timer.
struct CTimerTickState {
    bool bUpdateLocked = false;         // an update (or a rename, move or save) holds the lock
    bool bViewInitialised = false;      // the tree has been built
    bool bForegroundIsViewChild = false; // a dialog of the view is in front
};
// True when the tick should start an automatic "Update All": nothing in the
// way and the settings find an automatic update due.
bool ShouldUpdateOnTimer(const CSetting& setting, const CTimerTickState& state);

// On the connected message: true when an automatic "Update All" should
// start (the user asked for updates on synchronisation, the message reports
// a connection, and no disconnected message is being handled).
bool ShouldUpdateOnConnected(const CSetting& setting, WPARAM status, bool handlingDisconnect);

// On the disconnected message, with the status it carries.
struct CStatusReaction {
    bool bSendNetworkLost = false;   // send WM_NETWORK_LOST to the front window: abort downloads
    bool bReleaseConnection = false;
};
CStatusReaction ReactToConnectionStatus(WPARAM status);

// After an update run: the desktop notice "N new pages in M feeds", for an
// automatic run (start-up, interval, synchronisation) whose feeds brought
// new pages, while "Notify about new pages" is on. Nothing otherwise: the
// user who asked for a run sees its dialog.
std::optional<CViewMessage> NewPagesNotice(const CSetting& setting, bool automatic,
                                           const std::vector<CFeedUpdateResult>& results);
