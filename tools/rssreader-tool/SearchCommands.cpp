// rssreader-tool search: the candidates the online search lists for a
// keyword, and with --check whether each answers with a feed, downloaded
// as the search dialog's Add downloads it.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "platform/WindowMessages.h"
#include "session/ReaderSession.h"
#include "update/CandidateFetch.h"
#include "update/FeedSearch.h"

namespace {

Json MessageTexts(const std::vector<CViewMessage>& messages)
{
    Json list = Json::array();
    for (const CViewMessage& message : messages)
        list.push_back(ToUtf8(message.Text()));
    return list;
}

// Whether the candidate answers with a feed, and what the dialog would say.
Json Check(const COutline& candidate, DWORD timeoutMs, bool& isFeed)
{
    bool done = false;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DOWNLOAD_DONE)
            done = true;
        return 0;
    });
    CCandidateFetch fetch(window);
    const CCandidateFetch::CRefusal refusal = fetch.Start(candidate, {}, timeoutMs);
    std::vector<CViewMessage> messages = refusal.messages;
    isFeed = false;
    while (messages.empty()) {
        PumpMessagesUntil([&] { return done; }, std::chrono::minutes(10));
        done = false;
        const CCandidateFetch::COutcome outcome = fetch.Finish();
        isFeed = outcome.added;
        messages = outcome.messages;
        // A page that announces several feeds: the first, as subscribe takes it.
        if (!outcome.choices.empty())
            messages = fetch.Choose(0);
        else if (!outcome.running)
            break;
    }
    DestroyWindow(window);
    return {{"feed", isFeed}, {"messages", MessageTexts(messages)}};
}

} // namespace

int CommandSearch(const CArguments& given)
{
    CArguments args = given;
    bool check = false;
    DWORD timeoutMs = kPageDownloadTimeoutMs;
    for (size_t at = 0; at < args.size();) {
        if (args[at] == "--check") {
            check = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (args[at] == "--timeout" && at + 1 < args.size()) {
            timeoutMs = static_cast<DWORD>(std::strtoul(args[at + 1].c_str(), nullptr, 10));
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(at), args.begin() + static_cast<std::ptrdiff_t>(at) + 2);
        } else {
            ++at;
        }
    }
    if (args.size() != 1)
        return UsageError("search takes KEYWORD [--check] [--timeout MS]");

    CReaderSession session;
    const auto startUp = session.Start();
    if (!startUp.storeMessages.empty()) {
        for (const CViewMessage& message : startUp.storeMessages)
            std::fprintf(stderr, "rssreader-tool: %s\n", WideToUtf8(message.Text()).c_str());
        return kExitStore;
    }
    const std::wstring path = GetKeywordFilePath();
    const COutlineList candidates = LoadSearchCandidates(path, Utf8ToWide(args[0]));
    const std::vector<CListedCandidate> listed = ListCandidates(candidates, {});
    if (listed.empty()) {
        std::fprintf(stderr, "rssreader-tool: No matches found. (keyword file %s)\n", WideToUtf8(path).c_str());
        return PrintNothing();
    }
    Json rows = Json::array();
    bool allFeeds = true;
    for (const CListedCandidate& row : listed) {
        Json entry = {{"title", ToUtf8(row.outline->DisplayName())},
                      {"url", ToUtf8(row.outline->xmlUrl)},
                      {"home", ToUtf8(row.outline->htmlUrl)},
                      {"description", ToUtf8(row.outline->description)}};
        if (check) {
            bool isFeed = false;
            entry["check"] = Check(*row.outline, timeoutMs, isFeed);
            allFeeds = allFeeds && isFeed;
        }
        rows.push_back(std::move(entry));
    }
    PrintJson({{"keyword", args[0]}, {"file", ToUtf8(path)}, {"candidates", rows}});
    return allFeeds ? kExitDone : kExitSomeFailed;
}
