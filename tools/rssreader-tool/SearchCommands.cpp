// rssreader-tool search: the candidates the online search lists for a
// keyword, and with --check whether each answers with a feed, downloaded
// as the search dialog's Add downloads it (both are CFeedCollection's).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "platform/WindowMessages.h"
#include "session/ReaderSession.h"
#include "session/FeedCollection.h"
#include "update/FeedSearch.h"

namespace {

Json MessageTexts(const std::vector<CViewMessage>& messages)
{
    Json list = Json::array();
    for (const CViewMessage& message : messages)
        list.push_back(ToUtf8(message.Text()));
    return list;
}

// Whether the listed row answers with a feed, and what the dialog's Add
// would say.
Json Check(CFeedCollection& collection, int row, DWORD timeoutMs, bool& done, bool& isFeed)
{
    std::vector<CViewMessage> messages = collection.StartAdd(row, timeoutMs);
    for (bool running = messages.empty(); running;) {
        PumpMessagesUntil([&] { return done; }, std::chrono::minutes(10));
        done = false;
        CFeedCollection::CAddEnd end = collection.FinishAdd();
        // A page that announces several feeds: the first, as subscribe takes it.
        if (!end.choices.empty())
            end = collection.Choose(0);
        running = end.running;
        messages = std::move(end.messages);
    }
    isFeed = collection.Listed()[row].image == kCandidateImageAdded;
    collection.EndWork();
    // Each row is checked on its own, as if none had been collected before.
    collection.DropCollected();
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
    bool done = false;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DOWNLOAD_DONE)
            done = true;
        return 0;
    });
    CFeedCollection collection(window);
    const std::vector<CViewMessage> messages = collection.SearchKeywordAtOnce(path, Utf8ToWide(args[0]));
    const std::vector<CListedCandidate>& listed = collection.Listed();
    if (listed.empty()) {
        for (const CViewMessage& message : messages)
            std::fprintf(stderr, "rssreader-tool: %s (keyword file %s)\n", WideToUtf8(message.Text()).c_str(),
                         WideToUtf8(path).c_str());
        DestroyWindow(window);
        return PrintNothing();
    }
    Json rows = Json::array();
    bool allFeeds = true;
    for (size_t at = 0; at < listed.size(); ++at) {
        const CListedCandidate& row = listed[at];
        Json entry = {{"title", ToUtf8(row.outline->DisplayName())},
                      {"url", ToUtf8(row.outline->xmlUrl)},
                      {"home", ToUtf8(row.outline->htmlUrl)},
                      {"description", ToUtf8(row.outline->description)}};
        if (check) {
            bool isFeed = false;
            entry["check"] = Check(collection, static_cast<int>(at), timeoutMs, done, isFeed);
            allFeeds = allFeeds && isFeed;
        }
        rows.push_back(std::move(entry));
    }
    DestroyWindow(window);
    PrintJson({{"keyword", args[0]}, {"file", ToUtf8(path)}, {"candidates", rows}});
    return allFeeds ? kExitDone : kExitSomeFailed;
}
