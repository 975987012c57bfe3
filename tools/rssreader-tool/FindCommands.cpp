// rssreader-tool find: the stored pages whose words hold every word given,
// newest first, as the window's Find lists them.
#include <charconv>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "store/RecordDatabase.h"
#include "session/PageList.h"

int CommandFind(const CArguments& given)
{
    CArguments args = given;
    int limit = kFindLimit;
    for (size_t at = 0; at + 1 < args.size(); ++at) {
        if (args[at] != "--limit")
            continue;
        const std::string& text = args[at + 1];
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), limit);
        if (error != std::errc() || end != text.data() + text.size() || limit < 1)
            return UsageError("find takes WORDS... [--limit N]");
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(at), args.begin() + static_cast<std::ptrdiff_t>(at) + 2);
        break;
    }
    if (args.empty())
        return UsageError("find takes WORDS... [--limit N]");
    if (!StoreIsOpen())
        return kExitStore;
    std::wstring words;
    for (const std::string& word : args)
        words += (words.empty() ? L"" : L" ") + Utf8ToWide(word);
    std::vector<CFoundPage> found;
    if (!FindStoredPages(words, limit, found))
        return StoreError("cannot search the stored pages: " + WideToUtf8(DescribeStoreError(GetLastError())));
    if (found.empty())
        return PrintNothing();
    Json list = Json::array();
    for (const CFoundPage& hit : found) {
        Json page = PageRecordToJson(hit.page);
        page.erase("description");
        Json entry{{"feedUrl", ToUtf8(hit.feedUrl)}, {"feedTitle", ToUtf8(hit.feedTitle)}};
        entry.update(page);
        list.push_back(std::move(entry));
    }
    PrintJson(list);
    return kExitDone;
}
