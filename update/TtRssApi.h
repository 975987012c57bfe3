#pragma once
// The JSON API of a Tiny Tiny RSS server (API level 15 and later): every
// call is a POST of a JSON object with "op" to "<server>/api/", answered
// {"seq":..,"status":0|1,"content":..}; status 1 carries {"error":"NAME"}.
//
// One object is one conversation with the server, on the calling thread
// (several requests of it may be under way at once, CallAll):
// it logs in when it has no session, and when the server answers
// NOT_LOGGED_IN (the session expired or was ended) it logs in again once and
// repeats the call. It counts its requests and the bytes it received, for
// the update's summary and the benchmark. Cancel may come from any thread
// and ends the call in progress at once.
//
// Every failure comes back as a CSyncError with its cause: the caller turns
// it into the reader's words (SyncFailureText) and decides what to keep.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/HttpTransfers.h"

enum class CSyncFailure {
    None,
    NoAccount,       // no account is set up
    NoPassword,      // the account's password is not where it was put
    WrongPassword,   // LOGIN_ERROR
    ApiDisabled,     // API_DISABLED: the user's API access is off on the server
    SessionRefused,  // NOT_LOGGED_IN again right after a fresh login
    HttpStatus,      // an answer other than 200
    CutShort,        // the answer ended before its announced end
    BadAnswer,       // not the JSON the API answers with
    ServerError,     // status 1 with another error (FEED_NOT_FOUND, INCORRECT_USAGE, ...)
    Timeout,         // the server stopped answering
    Network,         // no connection to the server
    Cancelled,       // the run was stopped
    StoreError,      // what arrived could not be stored
};

struct CSyncError {
    CSyncFailure failure = CSyncFailure::None;
    long httpStatus = 0;
    std::string detail; // the server's error name, libcurl's text, ...
    explicit operator bool() const { return failure != CSyncFailure::None; }
};

// The failure's name in the tool's JSON ("wrong password", "timeout", ...).
const char* SyncFailureName(CSyncFailure failure);
// The failure in the reader's words, from the string table, with the detail
// where it helps.
std::wstring SyncFailureText(const CSyncError& error);

// The API address of a server address: "<address>/api/", unless the address
// names it already. Empty when the address is not http or https.
std::string ApiEndpointOf(const std::wstring& serverAddress);

struct CServerCategory {
    int id = 0;
    std::wstring title;
};

struct CServerFeed {
    int id = 0;
    std::wstring url;
    std::wstring title;
    int categoryId = 0; // 0: uncategorised
    int unread = 0;
};

struct CServerArticle {
    int id = 0;
    int feedId = 0;
    bool unread = true;
    std::wstring title;
    std::wstring link;
    std::wstring content;
    std::int64_t updated = 0; // Unix seconds
    bool hasContent = false;  // asked with its content
};

// subscribeToFeed's answer codes.
enum class CSubscribeCode {
    AlreadySubscribed = 0,
    Added = 1,
    InvalidUrl = 2,
    NoFeedInPage = 3,
    SeveralFeedsInPage = 4,
    DownloadFailed = 5,
};

struct CSubscribeAnswer {
    CSubscribeCode code = CSubscribeCode::DownloadFailed;
    int feedId = 0;
    std::wstring message; // for a failed download
};

class CTtRssApi {
public:
    struct COptions {
        std::string endpoint; // ApiEndpointOf(...)
        std::string user;
        std::string password;
        std::string sessionId; // a session kept from an earlier conversation, tried first
        std::chrono::milliseconds stepTimeout{30000};
        std::string userAgent;
        std::string proxy;
    };

    explicit CTtRssApi(COptions options);

    // Logs in afresh.
    bool Login(CSyncError& error);
    // The op with its parameters; the content of the answer. Logs in first
    // when there is no session.
    std::optional<nlohmann::json> Call(const std::string& op, nlohmann::json params, CSyncError& error);
    // Several calls at once, each on a connection of its own (the server
    // answers them side by side); their contents in order. On any failure
    // every content is empty and error says why.
    std::vector<std::optional<nlohmann::json>> CallAll(std::vector<std::pair<std::string, nlohmann::json>> calls,
                                                       CSyncError& error);

    // The typed answers of calls made with CallAll.
    static std::pair<std::string, nlohmann::json> HeadlinesCall(int feedId, int sinceId, int skip, int limit,
                                                                bool withContent);
    static std::optional<std::vector<CServerCategory>> CategoriesOf(const std::optional<nlohmann::json>& content,
                                                                   CSyncError& error);
    static std::optional<std::vector<CServerFeed>> FeedsOf(const std::optional<nlohmann::json>& content,
                                                          CSyncError& error);
    static std::optional<std::vector<CServerArticle>> HeadlinesOf(const std::optional<nlohmann::json>& content,
                                                                 bool withContent, CSyncError& error);

    // Typed calls.
    std::optional<std::vector<CServerCategory>> GetCategories(CSyncError& error);
    std::optional<std::vector<CServerFeed>> GetFeeds(CSyncError& error);
    // Headlines of a feed (-4: all feeds) newer than sinceId, skip on,
    // at most limit (the server caps it at 200).
    std::optional<std::vector<CServerArticle>> GetHeadlines(int feedId, int sinceId, int skip, int limit,
                                                            bool withContent, CSyncError& error);
    std::optional<std::vector<CServerArticle>> GetArticles(const std::vector<int>& ids, CSyncError& error);
    // Marks the articles read (unread false) or unread.
    bool SetUnread(const std::vector<int>& ids, bool unread, CSyncError& error);
    std::optional<CSubscribeAnswer> Subscribe(const std::string& url, int categoryId, CSyncError& error);
    bool Unsubscribe(int feedId, CSyncError& error);

    const std::string& SessionId() const { return m_options.sessionId; }
    int Requests() const { return m_nRequests; }
    std::int64_t BytesReceived() const { return m_nBytes; }

    // Any thread.
    void Cancel() { m_transfers.Cancel(); }

private:
    struct CExchange;
    std::optional<nlohmann::json> Post(const nlohmann::json& body, CSyncError& error);
    std::vector<std::optional<nlohmann::json>> PostAll(const std::vector<nlohmann::json>& bodies,
                                                       std::vector<CSyncError>& errors);
    static std::optional<nlohmann::json> Parse(const CExchange& exchange, CSyncError& error);

    COptions m_options;
    // The session answered a call (or was just made): calls may go side by
    // side. Until then the first call goes alone: side by side on a session
    // the server has ended, each request tries to make the same session row
    // anew and all but one fail with HTTP 500.
    bool m_bSessionConfirmed = false;
    CHttpTransfers m_transfers;
    int m_nRequests = 0;
    std::int64_t m_nBytes = 0;
};

// The largest batch of ids one call carries.
inline constexpr size_t kArticleIdsPerCall = 200;
// The server's cap on headlines per call.
inline constexpr int kHeadlinesPerCall = 200;
