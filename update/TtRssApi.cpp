#include "update/TtRssApi.h"

#include <algorithm>
#include <cwctype>

#include "content/TextUtil.h"
#include "platform/Debug.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"

using nlohmann::json;

const char* SyncFailureName(CSyncFailure failure)
{
    switch (failure) {
    case CSyncFailure::None:
        return "";
    case CSyncFailure::NoAccount:
        return "no account";
    case CSyncFailure::NoPassword:
        return "no password";
    case CSyncFailure::WrongPassword:
        return "wrong password";
    case CSyncFailure::ApiDisabled:
        return "api disabled";
    case CSyncFailure::SessionRefused:
        return "session refused";
    case CSyncFailure::HttpStatus:
        return "http status";
    case CSyncFailure::CutShort:
        return "cut short";
    case CSyncFailure::BadAnswer:
        return "bad answer";
    case CSyncFailure::ServerError:
        return "server error";
    case CSyncFailure::Timeout:
        return "timeout";
    case CSyncFailure::Network:
        return "network error";
    case CSyncFailure::Cancelled:
        return "cancelled";
    case CSyncFailure::StoreError:
        return "store error";
    }
    return "";
}

std::wstring SyncFailureText(const CSyncError& error)
{
    const std::wstring detail = Utf8ToWide(error.detail);
    auto text = [&](UINT id) { return FormatText(LoadResString(id).c_str(), detail.c_str()); };
    switch (error.failure) {
    case CSyncFailure::None:
        return L"";
    case CSyncFailure::NoAccount:
        return text(IDS_SYNC_NO_ACCOUNT);
    case CSyncFailure::NoPassword:
        return text(IDS_SYNC_NO_PASSWORD);
    case CSyncFailure::WrongPassword:
        return text(IDS_SYNC_WRONG_PASSWORD);
    case CSyncFailure::ApiDisabled:
        return text(IDS_SYNC_API_DISABLED);
    case CSyncFailure::SessionRefused:
        return text(IDS_SYNC_SESSION_REFUSED);
    case CSyncFailure::HttpStatus:
        return FormatText(LoadResString(IDS_SYNC_HTTP_STATUS).c_str(), std::to_wstring(error.httpStatus).c_str());
    case CSyncFailure::CutShort:
        return text(IDS_SYNC_CUT_SHORT);
    case CSyncFailure::BadAnswer:
        return text(IDS_SYNC_BAD_ANSWER);
    case CSyncFailure::ServerError:
        return text(IDS_SYNC_SERVER_ERROR);
    case CSyncFailure::Timeout:
        return text(IDS_SYNC_TIMEOUT);
    case CSyncFailure::Network:
        return text(IDS_SYNC_NETWORK);
    case CSyncFailure::Cancelled:
        return text(IDS_SYNC_CANCELLED);
    case CSyncFailure::StoreError:
        return text(IDS_SYNC_STORE_ERROR);
    }
    return L"";
}

std::string ApiEndpointOf(const std::wstring& serverAddress)
{
    std::wstring address = Trim(serverAddress);
    std::wstring lower = address;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t ch) { return std::towlower(ch); });
    if (lower.rfind(L"http://", 0) != 0 && lower.rfind(L"https://", 0) != 0)
        return {};
    while (!address.empty() && address.back() == L'/')
        address.pop_back();
    if (address.size() < 4 || lower.compare(address.size() - 4, 4, L"/api") != 0)
        address += L"/api";
    return WideToUtf8(address) + "/";
}

namespace {

// Numbers may come as numbers or as quoted digits, depending on the
// server's version.
int IntOf(const json& value, int fallback = 0)
{
    if (value.is_number_integer())
        return value.get<int>();
    if (value.is_number())
        return static_cast<int>(value.get<double>());
    if (value.is_string()) {
        try {
            return std::stoi(value.get<std::string>());
        } catch (const std::exception&) {
            return fallback;
        }
    }
    return fallback;
}

std::int64_t Int64Of(const json& value)
{
    if (value.is_number())
        return value.get<std::int64_t>();
    if (value.is_string()) {
        try {
            return std::stoll(value.get<std::string>());
        } catch (const std::exception&) {
            return 0;
        }
    }
    return 0;
}

bool BoolOf(const json& value, bool fallback)
{
    if (value.is_boolean())
        return value.get<bool>();
    if (value.is_number())
        return IntOf(value) != 0;
    if (value.is_string())
        return value.get<std::string>() == "true" || value.get<std::string>() == "t" || value.get<std::string>() == "1";
    return fallback;
}

std::wstring TextOf(const json& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? Utf8ToWide(found->get<std::string>()) : std::wstring();
}

const json& Member(const json& object, const char* name)
{
    static const json none;
    const auto found = object.find(name);
    return found != object.end() ? *found : none;
}

std::string JoinIds(const std::vector<int>& ids)
{
    std::string joined;
    for (int id : ids) {
        if (!joined.empty())
            joined += ',';
        joined += std::to_string(id);
    }
    return joined;
}

CServerArticle ArticleOf(const json& item, bool withContent)
{
    CServerArticle article;
    article.id = IntOf(Member(item, "id"));
    article.feedId = IntOf(Member(item, "feed_id"));
    article.unread = BoolOf(Member(item, "unread"), true);
    article.title = TextOf(item, "title");
    article.link = TextOf(item, "link");
    article.updated = Int64Of(Member(item, "updated"));
    article.hasContent = withContent;
    if (withContent)
        article.content = TextOf(item, "content");
    return article;
}

} // namespace

CTtRssApi::CTtRssApi(COptions options) : m_options(std::move(options)) {}

// One request's answer as it arrives.
struct CTtRssApi::CExchange {
    std::string answer;
    long status = 0;
    std::int64_t announced = -1;
    bool done = false;
    CHttpOutcome outcome;
};

std::vector<std::optional<json>> CTtRssApi::PostAll(const std::vector<json>& bodies, std::vector<CSyncError>& errors)
{
    std::vector<CExchange> exchanges(bodies.size());
    for (size_t index = 0; index < bodies.size(); ++index) {
        CHttpTransferOptions request;
        request.url = m_options.endpoint;
        request.userAgent = m_options.userAgent;
        request.proxy = m_options.proxy;
        request.stepTimeout = m_options.stepTimeout;
        request.jsonBody = bodies[index].dump();
        CExchange& exchange = exchanges[index];
        ++m_nRequests;
        m_transfers.Add(
            request,
            [&exchange](const CHttpResponse& response) {
                exchange.status = response.status;
                exchange.announced = response.contentLength;
                return true;
            },
            [this, &exchange](std::string_view block) {
                m_nBytes += static_cast<std::int64_t>(block.size());
                exchange.answer.append(block);
                return true;
            },
            [&exchange](const CHttpOutcome& ended) {
                exchange.outcome = ended;
                exchange.done = true;
            });
    }
    // A second at most between looks, so that a lost wakeup can only delay.
    while (std::any_of(exchanges.begin(), exchanges.end(), [](const CExchange& exchange) { return !exchange.done; }))
        m_transfers.Poll(std::chrono::milliseconds(1000));
    std::vector<std::optional<json>> answers;
    errors.assign(bodies.size(), CSyncError{});
    for (size_t index = 0; index < bodies.size(); ++index)
        answers.push_back(Parse(exchanges[index], errors[index]));
    return answers;
}

std::optional<json> CTtRssApi::Post(const json& body, CSyncError& error)
{
    std::vector<CSyncError> errors;
    std::optional<json> answer = std::move(PostAll({body}, errors).front());
    error = errors.front();
    return answer;
}

std::optional<json> CTtRssApi::Parse(const CExchange& exchange, CSyncError& error)
{
    const CHttpOutcome& outcome = exchange.outcome;
    const std::string& answer = exchange.answer;
    const long status = exchange.status;
    switch (outcome.result) {
    case CHttpResult::Completed:
    case CHttpResult::Stopped:
        break;
    case CHttpResult::Cancelled:
        error = {CSyncFailure::Cancelled, 0, ""};
        return std::nullopt;
    case CHttpResult::TimedOut:
        error = {CSyncFailure::Timeout, 0, outcome.errorText};
        return std::nullopt;
    case CHttpResult::Failed:
        // An answer that had begun and then broke off is cut short; no
        // answer at all is the network's.
        error = {outcome.responseArrived ? CSyncFailure::CutShort : CSyncFailure::Network, 0, outcome.errorText};
        return std::nullopt;
    }
    if (status != 200) {
        error = {CSyncFailure::HttpStatus, status, ""};
        return std::nullopt;
    }
    if (exchange.announced >= 0 && static_cast<std::int64_t>(answer.size()) < exchange.announced) {
        error = {CSyncFailure::CutShort, status, ""};
        return std::nullopt;
    }
    json parsed;
    try {
        parsed = json::parse(answer);
    } catch (const json::parse_error& failure) {
        // JSON that stops at the end of the body (with no length announced
        // to tell) was cut short, not written wrong.
        const bool atEnd = failure.byte >= answer.size();
        error = {atEnd && !answer.empty() ? CSyncFailure::CutShort : CSyncFailure::BadAnswer, status, ""};
        return std::nullopt;
    }
    if (!parsed.is_object() || !parsed.contains("status") || !parsed.contains("content")) {
        error = {CSyncFailure::BadAnswer, status, ""};
        return std::nullopt;
    }
    return parsed;
}

bool CTtRssApi::Login(CSyncError& error)
{
    const auto answer = Post({{"op", "login"}, {"user", m_options.user}, {"password", m_options.password}}, error);
    if (!answer)
        return false;
    const json& content = Member(*answer, "content");
    if (IntOf(Member(*answer, "status")) != 0) {
        const std::string name = Member(content, "error").is_string() ? content["error"].get<std::string>() : "";
        if (name == "API_DISABLED")
            error = {CSyncFailure::ApiDisabled, 200, name};
        else if (name == "LOGIN_ERROR")
            error = {CSyncFailure::WrongPassword, 200, name};
        else
            error = {CSyncFailure::ServerError, 200, name};
        return false;
    }
    const json& session = Member(content, "session_id");
    if (!session.is_string() || session.get<std::string>().empty()) {
        error = {CSyncFailure::BadAnswer, 200, ""};
        return false;
    }
    m_options.sessionId = session.get<std::string>();
    m_bSessionConfirmed = true;
    return true;
}

std::optional<json> CTtRssApi::Call(const std::string& op, json params, CSyncError& error)
{
    return std::move(CallAll({{op, std::move(params)}}, error).front());
}

namespace {

CSyncError ErrorOfAnswer(const std::string& name)
{
    if (name == "NOT_LOGGED_IN")
        return {CSyncFailure::SessionRefused, 200, name};
    if (name == "API_DISABLED")
        return {CSyncFailure::ApiDisabled, 200, name};
    return {CSyncFailure::ServerError, 200, name};
}

} // namespace

std::vector<std::optional<json>> CTtRssApi::CallAll(std::vector<std::pair<std::string, json>> calls, CSyncError& error)
{
    std::vector<std::optional<json>> contents(calls.size());
    error = {};
    if (m_options.sessionId.empty() && !Login(error))
        return contents;
    if (!m_bSessionConfirmed && calls.size() > 1) {
        // The first call alone settles the session (a fresh login when the
        // server ended it); the others then go side by side.
        std::vector<std::pair<std::string, json>> first{std::move(calls.front())};
        calls.erase(calls.begin());
        contents.front() = std::move(CallAll(std::move(first), error).front());
        if (error)
            return contents;
        std::vector<std::optional<json>> rest = CallAll(std::move(calls), error);
        if (error)
            return std::vector<std::optional<json>>(rest.size() + 1);
        std::move(rest.begin(), rest.end(), contents.begin() + 1);
        return contents;
    }
    std::vector<size_t> pending(calls.size());
    for (size_t index = 0; index < calls.size(); ++index)
        pending[index] = index;
    for (int attempt = 0; !pending.empty(); ++attempt) {
        std::vector<json> bodies;
        for (size_t index : pending) {
            json params = calls[index].second.is_object() ? calls[index].second : json::object();
            params["op"] = calls[index].first;
            params["sid"] = m_options.sessionId;
            bodies.push_back(std::move(params));
        }
        std::vector<CSyncError> errors;
        std::vector<std::optional<json>> answers = PostAll(bodies, errors);
        std::vector<size_t> again;
        for (size_t at = 0; at < pending.size(); ++at) {
            if (!answers[at]) {
                if (!error)
                    error = errors[at];
                continue;
            }
            const json& content = Member(*answers[at], "content");
            if (IntOf(Member(*answers[at], "status")) == 0) {
                contents[pending[at]] = content;
                m_bSessionConfirmed = true;
                continue;
            }
            const std::string name = Member(content, "error").is_string() ? content["error"].get<std::string>() : "";
            if (name == "NOT_LOGGED_IN" && attempt == 0)
                again.push_back(pending[at]);
            else if (!error)
                error = ErrorOfAnswer(name);
        }
        if (error || again.empty())
            break;
        // The session ended on the server: one fresh login, then the calls
        // again.
        DebugLog("CTtRssApi::Call", "session ended on the server; logging in again");
        if (!Login(error))
            break;
        pending = std::move(again);
    }
    if (error)
        contents.assign(calls.size(), std::nullopt);
    return contents;
}

std::optional<std::vector<CServerCategory>> CTtRssApi::GetCategories(CSyncError& error)
{
    return CategoriesOf(Call("getCategories", {{"include_empty", true}}, error), error);
}

std::optional<std::vector<CServerCategory>> CTtRssApi::CategoriesOf(const std::optional<json>& content, CSyncError& error)
{
    if (!content)
        return std::nullopt;
    if (!content->is_array()) {
        error = {CSyncFailure::BadAnswer, 200, "getCategories"};
        return std::nullopt;
    }
    std::vector<CServerCategory> categories;
    for (const json& item : *content) {
        const int id = IntOf(Member(item, "id"), -1);
        // 0 is "Uncategorized", the negative ones are the server's own views.
        if (id > 0)
            categories.push_back({id, TextOf(item, "title")});
    }
    return categories;
}

std::optional<std::vector<CServerFeed>> CTtRssApi::GetFeeds(CSyncError& error)
{
    // -3: every feed of every category, without the server's own views.
    return FeedsOf(Call("getFeeds", {{"cat_id", -3}}, error), error);
}

std::optional<std::vector<CServerFeed>> CTtRssApi::FeedsOf(const std::optional<json>& content, CSyncError& error)
{
    if (!content)
        return std::nullopt;
    if (!content->is_array()) {
        error = {CSyncFailure::BadAnswer, 200, "getFeeds"};
        return std::nullopt;
    }
    std::vector<CServerFeed> feeds;
    for (const json& item : *content) {
        CServerFeed feed;
        feed.id = IntOf(Member(item, "id"));
        feed.url = TextOf(item, "feed_url");
        feed.title = TextOf(item, "title");
        feed.categoryId = IntOf(Member(item, "cat_id"));
        feed.unread = IntOf(Member(item, "unread"));
        if (feed.id > 0 && !feed.url.empty())
            feeds.push_back(std::move(feed));
    }
    return feeds;
}

std::pair<std::string, json> CTtRssApi::HeadlinesCall(int feedId, int sinceId, int skip, int limit, bool withContent)
{
    return {"getHeadlines",
            {{"feed_id", feedId},
             {"view_mode", "all_articles"},
             {"limit", limit},
             {"skip", skip},
             {"show_content", withContent},
             {"show_excerpt", false},
             {"since_id", sinceId}}};
}

std::optional<std::vector<CServerArticle>> CTtRssApi::GetHeadlines(int feedId, int sinceId, int skip, int limit,
                                                                 bool withContent, CSyncError& error)
{
    auto [op, params] = HeadlinesCall(feedId, sinceId, skip, limit, withContent);
    return HeadlinesOf(Call(op, std::move(params), error), withContent, error);
}

std::optional<std::vector<CServerArticle>> CTtRssApi::HeadlinesOf(const std::optional<json>& content, bool withContent,
                                                                  CSyncError& error)
{
    if (!content)
        return std::nullopt;
    if (!content->is_array()) {
        error = {CSyncFailure::BadAnswer, 200, "getHeadlines"};
        return std::nullopt;
    }
    std::vector<CServerArticle> articles;
    for (const json& item : *content) {
        CServerArticle article = ArticleOf(item, withContent);
        if (article.id > 0)
            articles.push_back(std::move(article));
    }
    return articles;
}

std::optional<std::vector<CServerArticle>> CTtRssApi::GetArticles(const std::vector<int>& ids, CSyncError& error)
{
    std::vector<CServerArticle> articles;
    for (size_t first = 0; first < ids.size(); first += kArticleIdsPerCall) {
        const std::vector<int> batch(ids.begin() + first, ids.begin() + std::min(ids.size(), first + kArticleIdsPerCall));
        const auto content = Call("getArticle", {{"article_id", JoinIds(batch)}}, error);
        if (!content)
            return std::nullopt;
        if (!content->is_array()) {
            error = {CSyncFailure::BadAnswer, 200, "getArticle"};
            return std::nullopt;
        }
        for (const json& item : *content) {
            CServerArticle article = ArticleOf(item, true);
            if (article.id > 0)
                articles.push_back(std::move(article));
        }
    }
    return articles;
}

bool CTtRssApi::SetUnread(const std::vector<int>& ids, bool unread, CSyncError& error)
{
    for (size_t first = 0; first < ids.size(); first += kArticleIdsPerCall) {
        const std::vector<int> batch(ids.begin() + first, ids.begin() + std::min(ids.size(), first + kArticleIdsPerCall));
        // field 2 is the unread flag; mode 1 sets it, 0 clears it.
        if (!Call("updateArticle", {{"article_ids", JoinIds(batch)}, {"mode", unread ? 1 : 0}, {"field", 2}}, error))
            return false;
    }
    return true;
}

std::optional<CSubscribeAnswer> CTtRssApi::Subscribe(const std::string& url, int categoryId, CSyncError& error)
{
    json params = {{"feed_url", url}};
    if (categoryId > 0)
        params["category_id"] = categoryId;
    const auto content = Call("subscribeToFeed", std::move(params), error);
    if (!content)
        return std::nullopt;
    const json& status = Member(*content, "status");
    if (!status.is_object() || !status.contains("code")) {
        error = {CSyncFailure::BadAnswer, 200, "subscribeToFeed"};
        return std::nullopt;
    }
    const int code = IntOf(status["code"], -1);
    if (code < 0 || code > static_cast<int>(CSubscribeCode::DownloadFailed)) {
        error = {CSyncFailure::BadAnswer, 200, "subscribeToFeed"};
        return std::nullopt;
    }
    CSubscribeAnswer answer;
    answer.code = static_cast<CSubscribeCode>(code);
    answer.feedId = IntOf(Member(status, "feed_id"));
    answer.message = TextOf(status, "message");
    return answer;
}

bool CTtRssApi::Unsubscribe(int feedId, CSyncError& error)
{
    return Call("unsubscribeFeed", {{"feed_id", feedId}}, error).has_value();
}
