#pragma once
// The one sync account: a Tiny Tiny RSS server that fetches the feeds of its
// folder for the reader. The server address and the user are options, under
// HKEY_CURRENT_USER\Software\vendrix\ZelviaReader\Sync ("Server", "User",
// "PasswordIn"); the password is kept apart (platform/SecretStore.h) and
// "PasswordIn" says where.
//
// Setting an account up logs in first: a server that refuses stores
// nothing, and the caller is told why.
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "platform/SecretStore.h"
#include "subscriptions/OpmlDoc.h"
#include "update/TtRssApi.h"

inline constexpr wchar_t kSyncSubKey[] = L"Sync";
// The account's folder in default.opml is a top-level folder outline with
// type="account" and url="<the server's address>": both attributes are
// kept and written back as they are, and neither makes it a feed.
inline constexpr wchar_t kAccountFolderType[] = L"account";

struct CSyncAccount {
    std::wstring server; // as entered, blanks trimmed
    std::wstring user;
    CSecretPlace passwordPlace = CSecretPlace::PrivateFile;

    std::string Endpoint() const { return ApiEndpointOf(server); }
    CSecretKey SecretKey() const { return {server, user}; }
    // The name of the account's folder in the tree: "user@host" (with the
    // port when the address has one).
    std::wstring FolderName() const;
    // The identity the stored sync state is kept under.
    std::wstring Identity() const { return server + L"\n" + user; }
};

// Whether the outline is the folder of an account (of this one, when given).
bool IsAccountFolder(const COutline& outline);
bool IsAccountFolderOf(const COutline& outline, const CSyncAccount& account);

// The account set up, or nothing.
std::optional<CSyncAccount> LoadSyncAccount();

// What setting up an account came to.
struct CAccountSetUp {
    CSyncError error;           // the login's failure
    std::wstring problem;       // the address is unusable, or the password or options could not be kept
    std::optional<CSyncAccount> account; // set: the account is stored
};

// Tries the login with the password; only when the server takes it are the
// password and the account stored (the password where the secret store
// puts it). An account set up before under another identity is replaced.
CAccountSetUp SetUpSyncAccount(const std::wstring& server, const std::wstring& user, const std::string& password,
                               std::chrono::milliseconds timeout);

// The same as a job that another thread may stop: the window's "Test" runs
// it on a worker and stops it when the sheet goes. An empty password stands
// for the one kept for the account set up now, when server and user are
// its own (the page never shows a password back).
class CAccountSetUpJob {
public:
    CAccountSetUp Run(const std::wstring& server, const std::wstring& user, std::string password,
                      std::chrono::milliseconds timeout);
    // Any thread: a login in progress ends at once; nothing is stored.
    void Cancel();

private:
    std::mutex m_lock;
    CTtRssApi* m_pApi = nullptr;
    bool m_bCancelled = false;
};
// Forgets the account and its password. False when the options could not
// be written.
bool RemoveSyncAccount();
// The account's password, from where it is kept.
std::optional<std::string> SyncAccountPassword(const CSyncAccount& account);

// The step timeout of a conversation with the server.
inline constexpr std::chrono::milliseconds kSyncStepTimeout{30000};
// A conversation with the account's server: address, user, password and
// session (kept from the last sync) filled in; the user agent of downloads.
CTtRssApi::COptions ApiOptionsOf(const CSyncAccount& account, const std::string& password,
                                 const std::string& sessionId, std::chrono::milliseconds timeout);
