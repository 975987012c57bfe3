#pragma once
// What an update run shows, and where: the update dialog draws it, tests
// script it, rssreader-tool prints it. Every call comes on the thread that
// started the run (the dialog's), never on the worker.
#include <string>

#include "update/FeedUpdateResult.h"

class IUpdateRunView {
public:
    virtual ~IUpdateRunView() = default;

    virtual void SetStatusText(const std::wstring& text) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int position) = 0;
    // The two soft keys: "Done" on the left, "Cancel" on the right.
    virtual void EnableSoftKeys(bool done, bool cancel) = 0;
    virtual void ShowWaitCursor(bool shown) = 0;
    // A message box titled "RSS Reader" with the error icon; returns when the
    // user has closed it. foreground: brought to the front and kept on top.
    virtual void ShowErrorBox(const std::wstring& text, bool foreground) = 0;
    // The dialog ends with this result (32807 Done, 32804 Cancel, 2 when it
    // could not start).
    virtual void EndDialog(int result) = 0;
    // One feed is done; its outline's icon status is already applied.
    virtual void OnFeedResult(const CFeedUpdateResult&) {}
};
