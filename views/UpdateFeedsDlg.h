#pragma once
// CUpdateFeedsDlg: the update progress dialog (template 222, "Update
// Feeds"). It hosts one CUpdateRun and draws what the run shows: a progress
// bar across the top, the status text below it, and the soft keys "Done"
// and "Cancel" greyed as the run goes (connecting and running: only
// "Cancel"; stopping: neither; finished: only "Done"). An automatic run
// closes itself once it has shown its end text. The run starts as soon as
// the dialog is on screen; when no connection can be had, the run's message
// box shows and the dialog ends with IDCANCEL (2).
//
// Cancel stops the run (a second Cancel does nothing); the Back key is
// Cancel too, and once the end text shows it closes the dialog. Other keys
// do nothing. The network going away reaches the dialog as
// kNetworkLostEvent (the frame sends it to the dialog on top).
//
// While a message box of the run is open (a failed single feed, the lost
// network at the end), Done, Cancel and the end of the dialog wait: they are
// applied in order once the box has closed, so neither the box's caller nor
// the dialog's loop is pulled out from under the other.
//
// OnFeedResult hands each feed's result, as it arrives, to the handler set
// with SetFeedResultHandler (the tree refreshes that feed's entry).

#include <QPointer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "update/UpdateRun.h"
#include "update/UpdateRunView.h"
#include "views/FullScreenDialog.h"

class QLabel;
class QProgressBar;
class CWaitCursor;

// Sent (not posted) to the dialog on top when the network is lost.
inline constexpr int kNetworkLostEvent = 1000 + 0x5B; // QEvent::User + 0x5B

class CUpdateFeedsDlg : public CFullScreenDialog, public IUpdateRunView {
    Q_OBJECT
public:
    // feeds: the outlines to update (folders are walked into); they must
    // outlive the dialog.
    CUpdateFeedsDlg(QWidget* host, std::vector<COutline*> feeds, bool automatic, bool updateAll);
    ~CUpdateFeedsDlg() override;

    CUpdateRun& Run() { return *m_pRun; }
    QProgressBar* ProgressBar() const { return m_pProgress; }
    QLabel* StatusText() const { return m_pStatus; }
    bool IsMessageBoxOpen() const { return m_nBoxDepth > 0; }

    void SetFeedResultHandler(std::function<void(const CFeedUpdateResult&)> handler)
    {
        m_feedResultHandler = std::move(handler);
    }

    // IUpdateRunView
    void SetStatusText(const std::wstring& text) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int position) override;
    void EnableSoftKeys(bool done, bool cancel) override;
    void ShowWaitCursor(bool shown) override;
    void ShowErrorBox(const std::wstring& text, bool foreground) override;
    void EndDialog(int result) override;
    void OnFeedResult(const CFeedUpdateResult& result) override;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StartRun();
    void ReplayDeferred();

    std::unique_ptr<CUpdateRun> m_pRun;
    QProgressBar* m_pProgress = nullptr;
    QLabel* m_pStatus = nullptr;
    std::unique_ptr<CWaitCursor> m_pWaitCursor;
    std::function<void(const CFeedUpdateResult&)> m_feedResultHandler;

    // What waits for the run's message box to close, in order: commands
    // (Done, Cancel) and the end of the dialog with its result.
    struct CDeferred {
        bool bEnd = false;
        int nValue = 0;
    };
    int m_nBoxDepth = 0;
    std::deque<CDeferred> m_deferred;
};
