// Commands over the network: one download, and raising the system events
// the reader watches.

#include <charconv>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/NamedEvent.h"
#include "platform/Unicode.h"
#include "platform/WindowMessages.h"
#include "update/ConnectionManager.h"
#include "update/HttpDownload.h"

int CommandFetch(const CArguments& args)
{
    DWORD timeout = kFeedDownloadTimeoutMs;
    if (args.size() == 4 && args[2] == "--timeout") {
        const auto [end, error] = std::from_chars(args[3].data(), args[3].data() + args[3].size(), timeout);
        if (error != std::errc() || end != args[3].data() + args[3].size() || timeout == 0)
            return UsageError("--timeout takes a number of milliseconds");
    } else if (args.size() != 2) {
        return UsageError("fetch takes URL FILE [--timeout MS]");
    }
    const std::wstring url = Utf8ToWide(args[0]);
    const std::wstring file = Utf8ToWide(args[1]);
    CConnectionManager& connection = CConnectionManager::Instance();
    if (!connection.Connect(url))
        return PrintNothing();

    // The download reports as it does to the update dialog: by posted
    // messages, handled here by a small loop of our own.
    size_t progressMessages = 0;
    bool done = false;
    WPARAM doneBytes = 0;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_DOWNLOAD_PROGRESS)
            ++progressMessages;
        else if (message == WM_DOWNLOAD_DONE) {
            done = true;
            doneBytes = wParam;
        }
        return 0;
    });
    CHttpDownload download;
    download.SetConnection(connection.GetConnection());
    download.SetNotifyWindow(window);
    download.SetSizeLimit(kFeedSizeLimit);
    download.Start(url, file, timeout);
    while (!PumpMessagesUntil([&] { return done; }, std::chrono::hours(1))) {
    }
    const bool succeeded = download.Succeeded();
    PrintJson(Json{{"url", args[0]},
                   {"file", args[1]},
                   {"succeeded", download.Succeeded()},
                   {"bytes", doneBytes},
                   {"status", download.StatusCode()},
                   {"contentLength", download.ContentLength()},
                   {"cancelCode", download.CancelCode()},
                   {"timedOut", download.TimedOut()},
                   {"progressMessages", progressMessages}});
    download.Reset();
    DestroyWindow(window);
    CConnectionManager::DestroyInstance();
    // A 404, a timeout or a refused connection is not a download: the JSON
    // says which, the exit code that there is nothing.
    return succeeded ? kExitDone : kExitNothing;
}

int CommandNotify(const CArguments& args)
{
    if (args.size() != 1 || (args[0] != "sync-end" && args[0] != "net-disconnect"))
        return UsageError("notify takes sync-end or net-disconnect");
    const std::wstring name = CConnectionManager::GetEventName(
        args[0] == "sync-end" ? CConnectionManager::kSyncEndWatcher : CConnectionManager::kDisconnectWatcher);
    // A running reader holds the event while it watches; with none running
    // the signal goes, as it would on the device, and that is no failure.
    const CEventSignal signal = SignalNamedEvent(name);
    if (signal == CEventSignal::Failed) {
        std::fprintf(stderr, "rssreader-tool: cannot set the event %s in %s\n", ToUtf8(name).c_str(),
                     GetNamedEventFolder().c_str());
        return PrintNothing();
    }
    PrintJson(Json{{"event", ToUtf8(name)}, {"set", true}, {"received", signal == CEventSignal::Received}});
    return kExitDone;
}
