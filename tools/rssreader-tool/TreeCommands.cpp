// The subscription tree through the reader session, as the GUI's tree runs
// it: each command starts a session (the start-up of the tree), performs
// one operation, saves default.opml where the GUI would, and prints the
// result. An entry is named by its PATH: the display names from the top
// level down, joined with "/"; a "/" inside a name is written "//".

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "Commands.h"
#include "JsonOut.h"
#include "content/TextUtil.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "subscriptions/OpmlFile.h"
#include "session/OpmlAddress.h"
#include "session/ReaderSession.h"
#include "update/AccountRequests.h"
#include "update/FeedFetch.h"
#include "update/HttpDownload.h"
#include "update/Setting.h"

namespace {

// "a/b//c" -> {"a", "b/c"}.
std::vector<std::wstring> SplitTreePath(const std::wstring& path)
{
    std::vector<std::wstring> names(1);
    for (size_t at = 0; at < path.size(); ++at) {
        if (path[at] != L'/') {
            names.back() += path[at];
        } else if (at + 1 < path.size() && path[at + 1] == L'/') {
            names.back() += L'/';
            ++at;
        } else {
            names.emplace_back();
        }
    }
    return names;
}

COutline* FindByPath(COutlineList& outlines, const std::wstring& path)
{
    COutlineList* level = &outlines;
    COutline* found = nullptr;
    for (const std::wstring& name : SplitTreePath(path)) {
        found = nullptr;
        for (auto& outline : *level) {
            if (outline->DisplayName() == name) {
                found = outline.get();
                break;
            }
        }
        if (found == nullptr)
            return nullptr;
        level = &found->children;
    }
    return found;
}

const char* IconName(int icon)
{
    switch (icon) {
    case kTreeIconFolderOpen:
        return "folder-open";
    case kTreeIconFolderClosed:
        return "folder";
    case kTreeIconUnread:
        return "unread";
    case kTreeIconFailed:
        return "failed";
    default:
        return "read";
    }
}

Json TreeToJson(CEntryLabeler& labels, COutlineList& outlines)
{
    Json list = Json::array();
    for (auto& outline : outlines) {
        // Folders with children are shown open, as the tree opens the top
        // level at start-up.
        const auto label = labels.Refreshed(*outline, !outline->children.empty());
        Json entry{{"label", label ? ToUtf8(label->text) : ToUtf8(outline->DisplayName())},
                   {"icon", label ? label->icon : outline->status},
                   {"iconName", IconName(label ? label->icon : outline->status)},
                   {"kind", outline->IsFeed() ? "feed" : "folder"}};
        if (outline->IsFeed())
            entry["url"] = ToUtf8(outline->xmlUrl);
        if (!outline->children.empty())
            entry["children"] = TreeToJson(labels, outline->children);
        list.push_back(std::move(entry));
    }
    return list;
}

Json TreeToJson(COutlineList& outlines)
{
    CEntryLabeler labels;
    return TreeToJson(labels, outlines);
}

Json MessagesToJson(const std::vector<CViewMessage>& messages)
{
    Json list = Json::array();
    for (const CViewMessage& message : messages)
        list.push_back(ToUtf8(message.Text()));
    return list;
}

bool HasError(const std::vector<CViewMessage>& messages)
{
    for (const CViewMessage& message : messages) {
        if ((message.style & 0xF0) == MB_ICONHAND)
            return true;
    }
    return false;
}

// A session started as the GUI starts; false (the exit code set) when the
// store cannot be opened.
bool StartSession(CReaderSession& session, int& exitCode)
{
    const auto startUp = session.Start();
    PrintMessages(startUp.treeMessages);
    PrintMessages(startUp.storeMessages);
    if (!startUp.storeMessages.empty()) {
        exitCode = kExitStore;
        return false;
    }
    return true;
}

// The entry a PATH names; on failure says so and gives the exit code.
COutline* EntryOrComplain(CReaderSession& session, const std::string& path, int& exitCode)
{
    COutline* outline = FindByPath(session.Document().outlines, Utf8ToWide(path));
    if (outline == nullptr) {
        std::fprintf(stderr, "rssreader-tool: no entry of the tree is named %s\n", path.c_str());
        exitCode = PrintNothing();
    }
    return outline;
}

// A store or file that could not be written, as against a refusal.
bool IsWriteFailure(const CViewMessage& message)
{
    return message.textId == IDS_EXPORT_FAILED || message.textId == IDS_FEED_DB_WRITE_ERROR;
}

int Subscribe(CReaderSession& session, const std::string& url, const std::string& name, bool atRoot, COutline* target);
int Import(CReaderSession& session, const std::wstring& source, COutline* target);


// Runs fn on a started session; the exit code of the start-up when the
// store cannot be opened.
template <typename Fn>
int WithSession(Fn fn)
{
    CReaderSession session;
    int exitCode = kExitDone;
    if (!StartSession(session, exitCode))
        return exitCode;
    return fn(session);
}

// Runs fn on the entry PATH names (nullptr when the path is empty, for an
// optional folder); says so when there is none.
template <typename Fn>
int WithEntry(const std::string& path, Fn fn)
{
    return WithSession([&](CReaderSession& session) {
        int exitCode = kExitDone;
        COutline* outline = nullptr;
        if (!path.empty() && (outline = EntryOrComplain(session, path, exitCode)) == nullptr)
            return exitCode;
        return fn(session, outline);
    });
}

int Finish(CReaderSession& session, const CTreeChange& change, Json sync = Json())
{
    PrintMessages(change.messages);
    Json json{{"messages", MessagesToJson(change.messages)},
              {"saved", change.saved},
              {"tree", TreeToJson(session.Document().outlines)}};
    if (!sync.is_null())
        json["sync"] = std::move(sync);
    PrintJson(json);
    for (const CViewMessage& message : change.messages) {
        if (IsWriteFailure(message))
            return kExitStore;
    }
    return HasError(change.messages) ? kExitNothing : kExitDone;
}

// Options of the form --name VALUE among the arguments; the rest stays.
std::string TakeOption(CArguments& args, const std::string& name)
{
    for (size_t at = 0; at + 1 < args.size(); ++at) {
        if (args[at] == name) {
            std::string value = args[at + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(at), args.begin() + static_cast<std::ptrdiff_t>(at) + 2);
            return value;
        }
    }
    return {};
}

bool TakeFlag(CArguments& args, const std::string& name)
{
    for (size_t at = 0; at < args.size(); ++at) {
        if (args[at] == name) {
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(at));
            return true;
        }
    }
    return false;
}

// A command the window greys for the entry is refused here alike (inside
// the sync account's folder: what its server's API cannot do).
bool Refused(CReaderSession& session, COutline* outline, int command, const char* what)
{
    const std::vector<int> greyed = session.GreyedCommands(outline, session.Document().outlines.empty());
    if (std::find(greyed.begin(), greyed.end(), command) == greyed.end())
        return false;
    std::fprintf(stderr, "rssreader-tool: %s is not available for this entry\n", what);
    PrintNothing();
    return true;
}

// Enter URL, or an import, inside the account's folder: the server
// subscribes, and the feeds it took join the folder.
int SubscribeInAccount(CReaderSession& session, const std::vector<std::wstring>& urls, COutline* target, bool import)
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    if (!account)
        return StoreError("the sync account is gone");
    return Finish(session, session.AddAccountFeeds(
                               SubscribeOnServer(*account, urls, session.AccountCategoryOf(target)), import));
}
} // namespace

void PrintMessages(const std::vector<CViewMessage>& messages)
{
    for (const CViewMessage& message : messages) {
        std::wstring text = message.Text();
        for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at))
            text.replace(at, 2, L"\n");
        std::fprintf(stderr, "rssreader-tool: %s\n", WideToUtf8(text).c_str());
    }
}

int CommandTree(const CArguments& args)
{
    if (!args.empty())
        return UsageError("tree takes no arguments");
    return WithSession([](CReaderSession& session) {
        PrintJson({{"complete", session.IsTreeComplete()}, {"tree", TreeToJson(session.Document().outlines)}});
        return kExitDone;
    });
}

int CommandSubscribe(const CArguments& given)
{
    CArguments args = given;
    const std::string name = TakeOption(args, "--name");
    const std::string folder = TakeOption(args, "--folder");
    const bool atRoot = TakeFlag(args, "--root");
    if (args.size() != 1)
        return UsageError("subscribe takes URL [--name NAME] [--folder PATH] [--root]");
    return WithEntry(folder, [&](CReaderSession& session, COutline* target) {
        if (!atRoot && session.IsInAccountFolder(target))
            return SubscribeInAccount(session, {Utf8ToWide(args[0])}, target, false);
        return Subscribe(session, args[0], name, atRoot, target);
    });
}

namespace {

int Subscribe(CReaderSession& session, const std::string& url, const std::string& name, bool atRoot, COutline* target)
{
    // The add-feed dialog's fetch, waited for here.
    bool done = false;
    const HWND window = CreateMessageWindow([&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DOWNLOAD_DONE)
            done = true;
        return 0;
    });
    CFeedFetch fetch(window);
    std::vector<CViewMessage> refused = fetch.Start(Utf8ToWide(url));
    CFeedFetch::COutcome outcome;
    while (refused.empty()) {
        PumpMessagesUntil([&] { return done; }, std::chrono::minutes(10));
        done = false;
        outcome = fetch.Finish();
        refused = std::move(outcome.messages);
        // A site's page that announces several feeds: the first of them.
        if (!outcome.choices.empty())
            refused = fetch.Choose(0);
        else if (!outcome.running)
            break;
    }
    DestroyWindow(window);
    if (!outcome.feed) {
        PrintMessages(refused);
        PrintJson({{"messages", MessagesToJson(refused)}, {"saved", false}});
        return kExitNothing;
    }
    if (!name.empty()) {
        outcome.feed->title = Utf8ToWide(name);
        outcome.feed->text = outcome.feed->title;
    }
    return Finish(session, session.AddFeed(std::move(outcome.feed), atRoot, target));
}

} // namespace

int CommandMkdir(const CArguments& given)
{
    CArguments args = given;
    const std::string folder = TakeOption(args, "--folder");
    if (args.size() != 1 || Trim(Utf8ToWide(args[0])).empty())
        return UsageError("mkdir takes NAME [--folder PATH]");
    return WithEntry(folder, [&](CReaderSession& session, COutline* target) {
        if (Refused(session, target, ID_NEW_FOLDER, "New folder"))
            return kExitNothing;
        return Finish(session, session.AddFolder(Trim(Utf8ToWide(args[0])), folder.empty(), target));
    });
}

int CommandRename(const CArguments& args)
{
    if (args.size() != 2 || Trim(Utf8ToWide(args[1])).empty())
        return UsageError("rename takes PATH NAME");
    return WithEntry(args[0], [&](CReaderSession& session, COutline* outline) {
        if (Refused(session, outline, ID_RENAME, "Rename"))
            return kExitNothing;
        CViewMessage failure;
        if (!session.PrepareRename(*outline, failure)) {
            PrintMessages({failure});
            return kExitStore;
        }
        return Finish(session, session.Rename(*outline, Trim(Utf8ToWide(args[1]))));
    });
}

int CommandDelete(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("delete takes PATH");
    // The question the GUI asks is answered by giving the command.
    return WithEntry(args[0], [&](CReaderSession& session, COutline* outline) {
        if (Refused(session, outline, ID_DELETE, "Delete"))
            return kExitNothing;
        if (!session.IsInAccountFolder(outline))
            return Finish(session, session.Delete(outline));
        // A feed of the account goes once its server has let it go.
        const std::optional<CSyncAccount> account = LoadSyncAccount();
        const CSyncError error = account ? UnsubscribeOnServer(*account, session.AccountFeedIdOf(*outline))
                                         : CSyncError{CSyncFailure::NoAccount, 0, ""};
        if (error) {
            CTreeChange refused;
            refused.messages.push_back(UnsubscribeFailedMessage(error));
            return Finish(session, refused);
        }
        return Finish(session, session.RemoveAccountFeed(outline));
    });
}

namespace {

int Mark(const CArguments& args, bool read)
{
    if (args.size() != 1)
        return UsageError(std::string(read ? "mark-read" : "mark-unread") + " takes PATH");
    return WithEntry(args[0], [&](CReaderSession& session, COutline* outline) {
        const CTreeChange change = session.MarkSubtree(*outline, read);
        return Finish(session, change, SendQueuedMarks());
    });
}

} // namespace

int CommandMarkRead(const CArguments& args) { return Mark(args, true); }
int CommandMarkUnread(const CArguments& args) { return Mark(args, false); }

int CommandMove(const CArguments& args)
{
    int steps = 1;
    if (args.size() == 3) {
        const auto [end, error] = std::from_chars(args[2].data(), args[2].data() + args[2].size(), steps);
        if (error != std::errc() || end != args[2].data() + args[2].size() || steps < 1)
            return UsageError("move takes PATH up|down [N]");
    }
    if ((args.size() != 2 && args.size() != 3) || (args[1] != "up" && args[1] != "down"))
        return UsageError("move takes PATH up|down [N]");
    return WithEntry(args[0], [&](CReaderSession& session, COutline* outline) {
        if (Refused(session, outline, ID_MOVE, "Move"))
            return kExitNothing;
        if (!session.StartMove(*outline))
            return StoreError("the tree is busy");
        int moved = 0;
        while (moved < steps && (args[1] == "up" ? session.MoveStepUp() : session.MoveStepDown()))
            ++moved;
        if (moved == 0) {
            session.MoveCancel();
            std::fprintf(stderr, "rssreader-tool: %s cannot move %s\n", args[0].c_str(), args[1].c_str());
            return PrintNothing();
        }
        return Finish(session, session.MoveDone());
    });
}

int CommandProperties(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("properties takes PATH");
    return WithEntry(args[0], [&](CReaderSession& session, COutline* outline) {
        if (!outline->IsFeed()) {
            std::fprintf(stderr, "rssreader-tool: a folder has no properties\n");
            return PrintNothing();
        }
        Json rows = Json::array();
        for (const CPropertyRow& row : session.Properties(*outline))
            rows.push_back({{"label", ToUtf8(LoadResString(row.labelId))}, {"value", ToUtf8(row.value)}});
        PrintJson(rows);
        return kExitDone;
    });
}

int CommandImport(const CArguments& given)
{
    CArguments args = given;
    const std::string folder = TakeOption(args, "--folder");
    if (args.size() != 1)
        return UsageError("import takes FILE|URL [--folder PATH]");
    return WithEntry(folder, [&](CReaderSession& session, COutline* target) {
        return Import(session, Utf8ToWide(args[0]), target);
    });
}

namespace {

// shownAs: how messages name the file (the address it was downloaded from).
int ImportLocal(CReaderSession& session, const std::wstring& path, COutline* target,
                const std::wstring& shownAs = {})
{
    if (!session.IsInAccountFolder(target))
        return Finish(session, session.ImportFile(path, target, shownAs));
    auto doc = LoadOpmlFile(path);
    if (!doc || doc->outlines.empty()) {
        CTreeChange refused;
        refused.messages.push_back({IDS_OPML_INCORRECT, {}, MB_ICONHAND});
        return Finish(session, refused);
    }
    return SubscribeInAccount(session, FeedUrlsOf(doc->outlines), target, true);
}

int Import(CReaderSession& session, const std::wstring& source, COutline* target)
{
    std::wstring path;
    if (OpmlSourceOf(source, path) != EOpmlSource::Web)
        return ImportLocal(session, path, target);

    // An OPML address: fetched and refused as the address dialog fetches
    // it, and read as OPML only.
    COpmlAddress address(HWND{}, L"i");
    std::vector<CViewMessage> refused = address.StartDownload(source, kFeedDownloadTimeoutMs);
    if (refused.empty()) {
        const COpmlAddress::CEnd end = address.FinishDownload();
        if (!end.path.empty())
            return ImportLocal(session, end.path, target, source);
        refused = end.messages;
    }
    PrintMessages(refused);
    return PrintNothing();
}

} // namespace

int CommandExport(const CArguments& args)
{
    if (args.size() != 1)
        return UsageError("export takes FILE");
    return WithSession([&](CReaderSession& session) {
        const CViewMessage message = session.Export(Utf8ToWide(args[0]));
        PrintMessages({message});
        PrintJson({{"messages", MessagesToJson({message})}, {"saved", message.textId == IDS_EXPORT_CREATED}});
        return message.textId == IDS_EXPORT_CREATED ? kExitDone : kExitStore;
    });
}
