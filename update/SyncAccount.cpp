#include "update/SyncAccount.h"

#include "content/TextUtil.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"
#include "update/HttpDownload.h"
#include "update/Setting.h"

namespace {

std::wstring SyncKeyPath() { return std::wstring(kSettingsKey) + L"\\" + kSyncSubKey; }

} // namespace

std::wstring CSyncAccount::FolderName() const
{
    std::wstring_view authority = server;
    const size_t slashes = authority.find(L"//");
    if (slashes != std::wstring_view::npos)
        authority.remove_prefix(slashes + 2);
    authority = authority.substr(0, authority.find_first_of(L"/?#"));
    const size_t at = authority.rfind(L'@');
    if (at != std::wstring_view::npos)
        authority.remove_prefix(at + 1);
    return user + L"@" + std::wstring(authority);
}

bool IsAccountFolder(const COutline& outline)
{
    return outline.kind == OutlineKindFolder && outline.type == kAccountFolderType && !outline.url.empty();
}

bool IsAccountFolderOf(const COutline& outline, const CSyncAccount& account)
{
    return IsAccountFolder(outline) && outline.url == account.server;
}

std::optional<CSyncAccount> LoadSyncAccount()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SyncKeyPath()) != ERROR_SUCCESS)
        return std::nullopt;
    CSyncAccount account;
    std::wstring place;
    if (key.QueryStringValue(L"Server", account.server) != ERROR_SUCCESS ||
        key.QueryStringValue(L"User", account.user) != ERROR_SUCCESS || account.server.empty() ||
        account.user.empty())
        return std::nullopt;
    key.QueryStringValue(L"PasswordIn", place);
    account.passwordPlace = SecretPlaceFromName(place).value_or(CSecretPlace::PrivateFile);
    return account;
}

CTtRssApi::COptions ApiOptionsOf(const CSyncAccount& account, const std::string& password,
                                 const std::string& sessionId, std::chrono::milliseconds timeout)
{
    CTtRssApi::COptions options;
    options.endpoint = account.Endpoint();
    options.user = WideToUtf8(account.user);
    options.password = password;
    options.sessionId = sessionId;
    options.stepTimeout = timeout;
    options.userAgent = CHttpDownload::GetUserAgent();
    return options;
}

CAccountSetUp SetUpSyncAccount(const std::wstring& server, const std::wstring& user, const std::string& password,
                               std::chrono::milliseconds timeout)
{
    return CAccountSetUpJob().Run(server, user, password, timeout);
}

void CAccountSetUpJob::Cancel()
{
    std::lock_guard guard(m_lock);
    m_bCancelled = true;
    if (m_pApi)
        m_pApi->Cancel();
}

CAccountSetUp CAccountSetUpJob::Run(const std::wstring& server, const std::wstring& user, std::string password,
                                    std::chrono::milliseconds timeout)
{
    CAccountSetUp result;
    CSyncAccount account;
    account.server = Trim(server);
    account.user = Trim(user);
    if (account.Endpoint().empty()) {
        result.problem = L"the server address must be an http or https address";
        return result;
    }
    if (account.user.empty()) {
        result.problem = L"the user name is empty";
        return result;
    }
    const std::optional<CSyncAccount> previous = LoadSyncAccount();
    if (password.empty() && previous && previous->Identity() == account.Identity())
        password = SyncAccountPassword(*previous).value_or("");

    CTtRssApi api(ApiOptionsOf(account, password, "", timeout));
    {
        std::lock_guard guard(m_lock);
        m_pApi = &api;
        if (m_bCancelled)
            api.Cancel();
    }
    api.Login(result.error);
    {
        std::lock_guard guard(m_lock);
        m_pApi = nullptr;
    }
    if (result.error)
        return result;

    // The password of an account being replaced goes with it.
    if (previous && previous->Identity() != account.Identity())
        RemoveSecret(previous->SecretKey(), previous->passwordPlace);
    std::wstring storeError;
    if (!StoreSecret(account.SecretKey(), password, account.passwordPlace, storeError)) {
        result.problem = L"the password could not be kept: " + storeError;
        return result;
    }
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, SyncKeyPath()) != ERROR_SUCCESS) {
        RemoveSecret(account.SecretKey(), account.passwordPlace);
        result.problem = L"the options cannot be written";
        return result;
    }
    CRegWriteBatch batch(key);
    batch.SetStringValue(L"Server", account.server);
    batch.SetStringValue(L"User", account.user);
    batch.SetStringValue(L"PasswordIn", SecretPlaceName(account.passwordPlace));
    if (batch.Commit() != ERROR_SUCCESS) {
        RemoveSecret(account.SecretKey(), account.passwordPlace);
        result.problem = L"the options cannot be written";
        return result;
    }
    result.account = account;
    return result;
}

bool RemoveSyncAccount()
{
    const auto account = LoadSyncAccount();
    if (!account)
        return true;
    RemoveSecret(account->SecretKey(), account->passwordPlace);
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, SyncKeyPath()) != ERROR_SUCCESS)
        return true;
    bool removed = true;
    for (const wchar_t* name : {L"Server", L"User", L"PasswordIn"}) {
        const LONG deleted = key.DeleteValue(name);
        removed = removed && (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND);
    }
    return removed;
}

std::optional<std::string> SyncAccountPassword(const CSyncAccount& account)
{
    return LookupSecret(account.SecretKey(), account.passwordPlace);
}
