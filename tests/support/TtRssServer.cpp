#include "support/TtRssServer.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace {

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::optional<std::string> Run(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string output;
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), read);
    if (pclose(pipe) != 0)
        return std::nullopt;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

std::map<std::string, std::string> ReadEnvFile(const std::string& path)
{
    std::map<std::string, std::string> values;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

// An instance this process started itself: stopped when the process ends.
std::string g_strOwnDir;
void StopOwnInstance()
{
    if (!g_strOwnDir.empty())
        Run(Quoted(std::string(TTRSS_SCRIPTS_DIR) + "/stop-ttrss.sh") + " " + Quoted(g_strOwnDir) + " 2>/dev/null");
}

std::unique_ptr<CTtRssServer> Load(const std::string& dir, std::string& why)
{
    std::map<std::string, std::string> values = ReadEnvFile(dir + "/ttrss.env");
    if (values["TTRSS_URL"].empty()) {
        std::ifstream failed(dir + ".failed");
        std::string reason((std::istreambuf_iterator<char>(failed)), std::istreambuf_iterator<char>());
        why = reason.empty() ? "the sync server was not started in " + dir : reason;
        return nullptr;
    }
    return std::unique_ptr<CTtRssServer>(new CTtRssServer(values));
}

} // namespace

bool CTtRssServerRequired()
{
    const char* required = std::getenv("RSSREADER_REQUIRE_SYNC_SERVER");
    return required != nullptr && std::string(required) == "1";
}

CTtRssServer::CTtRssServer(const std::map<std::string, std::string>& values)
{
    url = values.at("TTRSS_URL");
    user = values.at("TTRSS_USER");
    password = values.at("TTRSS_PASSWORD");
    dir = values.at("TTRSS_DIR");
    phpPid = std::atoi(values.at("TTRSS_PHP_PID").c_str());
    m_strPsql = values.at("TTRSS_PSQL");
}

const CTtRssServer* CTtRssServer::Shared(std::string& why)
{
    static std::mutex lock;
    static std::unique_ptr<CTtRssServer> instance;
    static std::string failure;
    std::lock_guard guard(lock);
    if (instance || !failure.empty()) {
        why = failure;
        return instance.get();
    }
    std::string dir;
    if (const char* given = std::getenv("RSSREADER_TTRSS_DIR"); given != nullptr && *given != '\0') {
        dir = given;
    } else {
        std::string folder = (std::filesystem::temp_directory_path() / "rssreader-ttrss-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            failure = why = "no temporary folder for the sync server";
            return nullptr;
        }
        dir = folder + "/instance";
        const auto started = Run(Quoted(std::string(TTRSS_SCRIPTS_DIR) + "/start-ttrss.sh") + " " + Quoted(dir) +
                                 " >/dev/null 2>" + Quoted(folder + "/start.log"));
        if (!started) {
            std::ifstream log(folder + "/start.log");
            failure = why = "the sync server could not be started: " +
                            std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
            return nullptr;
        }
        g_strOwnDir = dir;
        std::atexit(StopOwnInstance);
    }
    instance = Load(dir, failure);
    why = failure;
    if (instance) {
        // What Reset puts back after a test changed the password. Each test
        // runs in a process of its own on the one instance, so the hash is
        // kept beside the instance by the first process that met it: read
        // anew, it would be the one the last test left.
        const std::string kept = dir + "/rssreader-admin-password-hash";
        std::ifstream stored(kept);
        if (!std::getline(stored, instance->m_strPasswordHash) || instance->m_strPasswordHash.empty()) {
            instance->m_strPasswordHash =
                instance->Sql("SELECT pwd_hash || '|' || salt FROM ttrss_users WHERE login = 'admin'").value_or("");
            std::ofstream(kept) << instance->m_strPasswordHash << '\n';
        }
    }
    return instance.get();
}

std::optional<std::string> CTtRssServer::Sql(const std::string& sql) const
{
    return Run(Quoted(m_strPsql) + " -At -c " + Quoted(sql) + " 2>/dev/null");
}

bool CTtRssServer::Reset() const
{
    Resume();
    std::string sql =
        "DELETE FROM ttrss_user_entries WHERE owner_uid = 1;"
        "DELETE FROM ttrss_entries WHERE id NOT IN (SELECT ref_id FROM ttrss_user_entries);"
        "DELETE FROM ttrss_feeds WHERE owner_uid = 1;"
        "DELETE FROM ttrss_feed_categories WHERE owner_uid = 1;"
        "DELETE FROM ttrss_sessions;"
        "UPDATE ttrss_user_prefs SET value = 'true' WHERE owner_uid = 1 AND pref_name = 'ENABLE_API_ACCESS';";
    const size_t bar = m_strPasswordHash.find('|');
    if (bar != std::string::npos)
        sql += "UPDATE ttrss_users SET pwd_hash = '" + m_strPasswordHash.substr(0, bar) + "', salt = '" +
               m_strPasswordHash.substr(bar + 1) + "' WHERE login = 'admin';";
    return Sql(sql).has_value();
}

std::unique_ptr<CTtRssApi> CTtRssServer::Api() const
{
    CTtRssApi::COptions options;
    options.endpoint = url + "api/";
    options.user = user;
    options.password = password;
    options.stepTimeout = std::chrono::seconds(30);
    return std::make_unique<CTtRssApi>(options);
}

void CTtRssServer::Pause() const { ::kill(-phpPid, SIGSTOP); }
void CTtRssServer::Resume() const { ::kill(-phpPid, SIGCONT); }
