// rssreader-tool discover: the feeds behind an address, found as Enter URL
// and subscribe find them (the address itself, the feeds its page announces,
// a site's common feed places), as a JSON list.
#include <chrono>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "platform/WindowMessages.h"
#include "resources/ResourceModule.h"
#include "resources/ViewMessage.h"
#include "update/FeedDiscovery.h"
#include "update/FeedFetch.h"

namespace {

int Unsupported(const std::wstring& url)
{
    std::wstring text = CViewMessage{IDS_UNSUPPORTED_URL, {url}, MB_ICONHAND}.Text();
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at))
        text.replace(at, 2, L"\n");
    std::fprintf(stderr, "rssreader-tool: %s\n", WideToUtf8(text).c_str());
    return PrintNothing();
}

} // namespace

int CommandDiscover(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("discover takes URL");
    const std::wstring url = CompleteWebAddress(Utf8ToWide(args[0]));
    if (!IsWebUrl(url))
        return Unsupported(url);
    bool done = false;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DOWNLOAD_DONE)
            done = true;
        return 0;
    });
    CFeedDiscovery discovery(window, L"d");
    if (!discovery.Connect(url)) {
        DestroyWindow(window);
        std::fprintf(stderr, "rssreader-tool: %s\n", WideToUtf8(LoadResString(IDS_UNABLE_TO_CONNECT)).c_str());
        PrintNothing();
        return kExitUsage;
    }
    CFeedDiscovery::EStep step =
        discovery.Start(url) ? CFeedDiscovery::EStep::Running : CFeedDiscovery::EStep::Failed;
    while (step == CFeedDiscovery::EStep::Running) {
        PumpMessagesUntil([&] { return done; }, std::chrono::minutes(10));
        done = false;
        step = discovery.OnDownloadDone();
    }
    DestroyWindow(window);

    Json list = Json::array();
    if (step == CFeedDiscovery::EStep::Feed) {
        const auto channel = discovery.TakeChannel();
        const std::wstring& feedUrl = discovery.FeedUrl();
        // An announced feed keeps the page's words for it; the title is the channel's.
        std::string type = "feed";
        for (const CFeedLink& link : discovery.Links()) {
            if (link.url == feedUrl)
                type = ToUtf8(link.type);
        }
        list.push_back({{"url", ToUtf8(feedUrl)},
                        {"title", ToUtf8(channel->title)},
                        {"type", type},
                        {"found", discovery.FoundAtAddress() ? "address" : (type == "feed" ? "common path" : "announced")}});
    } else if (step == CFeedDiscovery::EStep::Choose) {
        for (const CFeedLink& link : discovery.Links())
            list.push_back({{"url", ToUtf8(link.url)},
                            {"title", ToUtf8(link.title)},
                            {"type", ToUtf8(link.type)},
                            {"found", "announced"}});
    } else {
        return Unsupported(discovery.FailedUrl().empty() ? url : discovery.FailedUrl());
    }
    PrintJson(list);
    return kExitDone;
}
