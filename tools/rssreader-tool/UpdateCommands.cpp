// The update run without the dialog: the tool plays the dialog (printing
// what it would show and pressing Done when it is offered) and the main
// window (passing on a loss of the network).
#include <atomic>
#include <charconv>
#include <csignal>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "resources/ResourceIds.h"
#include "store/DataStorage.h"
#include "session/TreeLabels.h"
#include "subscriptions/OpmlFile.h"
#include "session/ReaderSession.h"
#include "store/RecordDatabase.h"
#include "update/ConnectionManager.h"
#include "update/FeedManager.h"
#include "update/UpdateRun.h"
#include "update/UpdateTriggers.h"

namespace {

std::atomic<bool> g_bInterrupted{false};

// Prints each change on stderr as it happens and keeps the texts for the
// JSON summary.
class CConsoleRunView : public IUpdateRunView {
public:
    void SetStatusText(const std::wstring& text) override
    {
        Print("status", text);
        m_statusTexts.push_back(text);
    }
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int position) override { m_nProgress = position; }
    void EnableSoftKeys(bool done, bool) override
    {
        // Done is pressed as soon as it is offered.
        if (done && m_pRun)
            PostMessage(m_pRun->GetWindow(), WM_COMMAND, ID_DONE, 0);
    }
    void ShowWaitCursor(bool) override {}
    void ShowErrorBox(const std::wstring& text, bool) override
    {
        Print("message box", text);
        m_messageBoxes.push_back(text);
    }
    void EndDialog(int) override {}

    CUpdateRun* m_pRun = nullptr;
    std::vector<std::wstring> m_statusTexts;
    std::vector<std::wstring> m_messageBoxes;
    int m_nProgress = 0;

private:
    // The dialog's texts break lines with "\r\n"; on a terminal the "\r"
    // would send the cursor back over the line, and in a log it is litter.
    static void Print(const char* what, const std::wstring& text)
    {
        std::wstring lines;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != L'\r')
                lines += text[i];
            else if (i + 1 == text.size() || text[i + 1] != L'\n')
                lines += L'\n';
        }
        std::fprintf(stderr, "%s: %s\n", what, WideToUtf8(lines).c_str());
    }
};

COutline* FindFeedOutline(COutlineList& outlines, const std::wstring& url)
{
    for (auto& outline : outlines) {
        if (outline->xmlUrl == url)
            return outline.get();
        if (COutline* found = FindFeedOutline(outline->children, url))
            return found;
    }
    return nullptr;
}

Json FeedResultToJson(const CFeedUpdateResult& feed)
{
    Json json{{"url", ToUtf8(feed.url)}, {"name", ToUtf8(feed.name)}, {"result", OutcomeName(feed.outcome)},
              {"newPages", feed.newPages}};
    // What the download came to: a document, a 304, or nothing usable.
    const bool documentCame = feed.outcome == CFeedOutcome::Updated ||
                              ((feed.httpStatus == 200 || feed.httpStatus == 403) &&
                               feed.failure != CFeedFailure::Cancelled && feed.failure != CFeedFailure::Timeout &&
                               feed.failure != CFeedFailure::Incomplete);
    if (feed.outcome != CFeedOutcome::Skipped)
        json["download"] = feed.notModified ? "not modified" : documentCame ? "fetched" : "failed";
    json["requests"] = feed.requests;
    if (!feed.movedTo.empty())
        json["movedTo"] = ToUtf8(feed.movedTo);
    if (feed.fromAccount) {
        json["account"] = true;
        json.erase("download");
    }
    if (feed.outcome == CFeedOutcome::Failed && feed.failure == CFeedFailure::Sync) {
        json["reason"] = SyncFailureName(feed.syncError.failure);
        json["message"] = ToUtf8(SyncFailureText(feed.syncError));
    } else if (feed.outcome == CFeedOutcome::Failed) {
        json["reason"] = FailureName(feed.failure);
        if (feed.failure == CFeedFailure::HttpStatus)
            json["httpStatus"] = feed.httpStatus;
        if (feed.failure == CFeedFailure::StoreError)
            json["storeError"] = ToUtf8(DescribeStoreError(feed.storeError));
        if (feed.notBefore.Ticks() != 0)
            json["notBefore"] = ToUtf8(FormatNotBefore(feed.notBefore));
    }
    if (feed.pageCount >= 0) {
        json["pageCount"] = feed.pageCount;
        json["unreadCount"] = feed.unreadCount;
    }
    return json;
}

Json TextsToJson(const std::vector<std::wstring>& texts)
{
    Json list = Json::array();
    for (const auto& text : texts)
        list.push_back(ToUtf8(text));
    return list;
}

} // namespace

int CommandUpdate(const CArguments& args)
{
    std::string feedUrl;
    DWORD timeout = kFeedDownloadTimeoutMs;
    bool automatic = false;
    for (size_t i = 0; i < args.size(); i += 2) {
        if (args[i] == "--automatic") {
            automatic = true;
            --i;
            continue;
        }
        if (i + 1 >= args.size())
            return UsageError("update takes [--feed URL] [--timeout MS] [--automatic]");
        if (args[i] == "--feed") {
            feedUrl = args[i + 1];
        } else if (args[i] == "--timeout") {
            const auto [end, error] = std::from_chars(args[i + 1].data(), args[i + 1].data() + args[i + 1].size(), timeout);
            if (error != std::errc() || end != args[i + 1].data() + args[i + 1].size() || timeout == 0)
                return UsageError("--timeout takes a number of milliseconds");
        } else {
            return UsageError("update takes [--feed URL] [--timeout MS] [--automatic]");
        }
    }

    // As the GUI starts: the subscriptions loaded, every feed with its
    // record, the store cleaned up.
    CReaderSession session;
    const auto startUp = session.Start();
    if (!startUp.storeMessages.empty()) {
        StoreIsOpen(); // says which file and why
        return kExitStore;
    }
    PrintMessages(startUp.treeMessages);
    COutline* selected = nullptr;
    if (!feedUrl.empty() && (selected = FindFeedOutline(session.Document().outlines, Utf8ToWide(feedUrl))) == nullptr) {
        std::fprintf(stderr, "rssreader-tool: no feed of the subscriptions has the URL %s\n", feedUrl.c_str());
        return PrintNothing();
    }
    std::vector<COutline*> feeds;
    session.BeginUpdate(selected, feedUrl.empty(), feeds);
    CConsoleRunView view;
    // --automatic: as the timer starts it (hosts that asked for a wait are
    // left alone, the dialog closes itself).
    CUpdateRun run(view, feeds, automatic, feedUrl.empty());
    view.m_pRun = &run;
    run.SetFeedTimeout(timeout);

    // The main window's part: a lost network reaches the run as it would
    // reach the dialog in front.
    const HWND mainWindow = CreateMessageWindow([&](HWND, UINT message, WPARAM status, LPARAM) -> LRESULT {
        if (message == WM_CONNECTION_STATUS)
            session.OnConnectionStatus(status, [&] { SendMessage(run.GetWindow(), WM_NETWORK_LOST, 0, 0); });
        return 0;
    });
    CConnectionManager::Instance().Init(mainWindow);
    std::signal(SIGINT, [](int) { g_bInterrupted = true; });

    if (run.Start()) {
        bool cancelled = false;
        while (!run.HasEnded()) {
            PumpMessagesUntil([&] { return run.HasEnded() || (g_bInterrupted && !cancelled); },
                              std::chrono::milliseconds(100));
            if (g_bInterrupted && !cancelled) {
                cancelled = true;
                PostMessage(run.GetWindow(), WM_COMMAND, ID_CANCEL_UPDATE, 0);
            }
        }
    }
    std::signal(SIGINT, SIG_DFL);
    const bool started = run.GetResult() != IDCANCEL;
    // After the dialog: the whole tree is trimmed with its counters put right.
    session.AfterUpdate();
    CConnectionManager::DestroyInstance();
    DestroyWindow(mainWindow);

    Json feedResults = Json::array();
    bool storeFailed = false;
    for (const CFeedUpdateResult& feed : run.GetFeedResults()) {
        feedResults.push_back(FeedResultToJson(feed));
        storeFailed = storeFailed || feed.failure == CFeedFailure::StoreError;
    }
    Json sync;
    if (run.SyncedAccount()) {
        const CAccountSyncResult& synced = run.GetSyncResult();
        sync = {{"requests", synced.requests},
                {"bytesReceived", synced.bytesReceived},
                {"seconds", synced.seconds},
                {"marksSent", synced.marksSent},
                {"marksOverruled", synced.marksOverruled},
                {"feeds", synced.feeds.size()}};
        if (synced.error) {
            sync["reason"] = SyncFailureName(synced.error.failure);
            sync["message"] = ToUtf8(SyncFailureText(synced.error));
        }
    }
    PrintJson({{"result", run.GetResult()},
               {"totalFeeds", run.GetTotalFeeds()},
               {"updatedFeeds", run.GetUpdatedFeeds()},
               {"failedFeeds", run.GetFailedFeeds()},
               {"totalNewPages", run.GetTotalNewPages()},
               {"requests", run.GetRequestCount()},
               {"stopped", run.IsStopped()},
               {"disconnected", run.IsDisconnected()},
               {"progress", view.m_nProgress},
               {"feeds", std::move(feedResults)},
               {"statusTexts", TextsToJson(view.m_statusTexts)},
               {"messageBoxes", TextsToJson(view.m_messageBoxes)},
               {"finalText", view.m_statusTexts.empty() ? "" : ToUtf8(view.m_statusTexts.back())},
               {"sync", std::move(sync)}});
    if (run.WasRefusedAsBusy())
        return kExitBusy;
    if (!started)
        return kExitUsage;
    if (g_bInterrupted)
        return kExitInterrupted;
    if (storeFailed)
        return kExitStore;
    return run.GetFailedFeeds() > 0 || run.GetUpdatedFeeds() < run.GetTotalFeeds() ? kExitSomeFailed : kExitDone;
}
