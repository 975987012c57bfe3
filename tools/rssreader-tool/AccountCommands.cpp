// The sync account: set up (the login tried first), shown, removed; and the
// marks made here sent to its server as the window sends them after a mark.
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "JsonOut.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "store/SyncStore.h"
#include "session/ReaderSession.h"
#include "update/AccountSync.h"
#include "update/SyncAccount.h"

namespace {

Json AccountToJson(const CSyncAccount& account)
{
    Json json{{"server", ToUtf8(account.server)},
              {"user", ToUtf8(account.user)},
              {"folder", ToUtf8(account.FolderName())},
              {"passwordIn", WideToUtf8(SecretPlaceName(account.passwordPlace))}};
    if (account.passwordPlace == CSecretPlace::PrivateFile)
        json["passwordFile"] = ToUtf8(PrivateSecretFilePath());
    return json;
}

Json SyncErrorToJson(const CSyncError& error)
{
    Json json{{"reason", SyncFailureName(error.failure)}, {"message", ToUtf8(SyncFailureText(error))}};
    if (error.failure == CSyncFailure::HttpStatus)
        json["httpStatus"] = error.httpStatus;
    return json;
}

// The account's folder follows the account: a session's start brings it in
// step (gone with an account removed or replaced).
int BringTreeInStep()
{
    CReaderSession session;
    const auto startUp = session.Start();
    return startUp.storeMessages.empty() ? kExitDone : kExitStore;
}

int AccountSet(const CArguments& args)
{
    if (args.size() != 3)
        return UsageError("account set takes URL USER, and the password on standard input");
    std::string password;
    if (!std::getline(std::cin, password))
        return UsageError("account set reads the password from standard input, one line");
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    const CAccountSetUp setUp =
        SetUpSyncAccount(Utf8ToWide(args[1]), Utf8ToWide(args[2]), password, kSyncStepTimeout);
    if (!setUp.problem.empty() && !setUp.error) {
        std::fprintf(stderr, "rssreader-tool: the account is not stored: %s\n", WideToUtf8(setUp.problem).c_str());
        PrintJson({{"saved", false}, {"problem", ToUtf8(setUp.problem)}});
        return setUp.problem.find(L"address") != std::wstring::npos || setUp.problem.find(L"user") != std::wstring::npos
                   ? kExitUsage
                   : kExitStore;
    }
    if (setUp.error) {
        const std::wstring text = SyncFailureText(setUp.error);
        std::fprintf(stderr, "rssreader-tool: the account is not stored: %s\n", WideToUtf8(text).c_str());
        Json json = SyncErrorToJson(setUp.error);
        json["saved"] = false;
        PrintJson(json);
        return kExitNothing;
    }
    const int inStep = BringTreeInStep();
    PrintJson({{"saved", true}, {"account", AccountToJson(*setUp.account)}});
    return inStep;
}

int AccountShow()
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    if (!account)
        return PrintNothing();
    Json json = AccountToJson(*account);
    CSyncStore store;
    CSyncState state;
    int queued = 0;
    if (store.IsOpen() && store.ReadState(state) && store.CountQueue(queued)) {
        const bool ours = state.account == account->Identity();
        json["pendingMarks"] = ours ? queued : 0;
        json["lastArticleId"] = ours ? state.lastArticleId : 0;
        json["lastSync"] = ours && state.lastSync != 0 ? FileTimeToJson(FILETIME::FromTicks(state.lastSync)) : Json();
    }
    PrintJson(json);
    return kExitDone;
}

int AccountRemove()
{
    int dropped = 0;
    CSyncStore().CountQueue(dropped);
    if (!RemoveSyncAccount())
        return StoreError("the options cannot be written");
    const int inStep = BringTreeInStep();
    PrintJson({{"removed", true}, {"droppedMarks", dropped}});
    return inStep;
}

} // namespace

int CommandAccount(const CArguments& args)
{
    if (!args.empty() && args[0] == "set")
        return AccountSet(args);
    if (args.size() == 1 && args[0] == "show")
        return AccountShow();
    if (args.size() == 1 && args[0] == "remove")
        return AccountRemove();
    return UsageError("account takes set URL USER | show | remove");
}

Json SendQueuedMarks()
{
    const std::optional<CSyncAccount> account = LoadSyncAccount();
    int queued = 0;
    if (!account || !CSyncStore().CountQueue(queued) || queued == 0)
        return Json();
    CAccountSync sync(*account, CCleanupLimits::FromSettings(), kSyncStepTimeout);
    const CMarkSendResult sent = sync.SendMarks();
    Json json{{"sent", sent.sent}, {"overruled", sent.overruled}, {"pending", sent.left}};
    if (sent.error) {
        // Kept for the next sync: the mark is not lost, only late.
        std::fprintf(stderr, "rssreader-tool: the mark waits for the server: %s\n",
                     WideToUtf8(SyncFailureText(sent.error)).c_str());
        json.update(SyncErrorToJson(sent.error));
    }
    return json;
}
