// What syncing with a Tiny Tiny RSS server costs against downloading the
// same feeds directly: 200 feeds of 50 items served from loopback, fetched
// by a real server on loopback (tests/support/ttrss), and read three times:
// the first time (every item new), unchanged, and with 5 new items a feed.
//
// Both sides run as the whole command a user starts, rssreader-tool update,
// each with a home of its own: one with the 200 feeds in its tree (the
// direct run; the loopback server answers validators with 304), one with
// the sync account set up and an empty tree. Each scenario's time is the
// median of its repeats; the direct side's bytes are the documents served,
// the sync's the API answers it received.
//
// Aims: an unchanged sync under 0.3 s and under 5% of the direct run's
// bytes.
//
// Usage: bench-sync [REPEATS] [FEEDS]   (defaults 3 and 200)
//        RSSREADER_TTRSS_DIR=DIR uses a server already started in DIR.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "BenchHome.h"
#include "ScratchFolder.h"
#include "support/LoopbackHttpServer.h"

namespace {

constexpr int kItemsPerFeed = 50;
constexpr int kNewItemsPerFeed = 5;

std::string FeedDocument(int feed, int items, int firstItem)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
                      "<title>Bench feed " + std::to_string(feed) + "</title>"
                      "<link>http://bench.example/f" + std::to_string(feed) + "/</link>"
                      "<description>Feed number " + std::to_string(feed) + "</description>";
    for (int item = firstItem + items - 1; item >= firstItem; --item) {
        const std::string id = "f" + std::to_string(feed) + "-i" + std::to_string(item);
        xml += "<item><title>Item " + id + " of the bench</title>"
               "<link>http://bench.example/" + id + "</link>"
               "<description>&lt;p&gt;" + std::string(700, 'x') + " " + id + "&lt;/p&gt;</description>"
               "<pubDate>" + std::to_string(1 + item % 28) + " Nov 2026 " + std::to_string(10 + item % 12) +
               ":00:00 +0000</pubDate></item>";
    }
    return xml + "</channel></rss>";
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command; its stdout, and whether it exited 0.
bool Run(const std::string& command, std::string* output = nullptr)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::array<char, 65536> buffer{};
    size_t read = 0;
    std::string text;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        text.append(buffer.data(), read);
    if (output != nullptr)
        *output = text;
    return pclose(pipe) == 0;
}

std::map<std::string, std::string> ReadEnv(const std::string& path)
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

struct CRun {
    double seconds = -1;     // the whole command
    double syncSeconds = 0;  // the sync inside it
    long long bytes = 0;
    int requests = 0;
    int newPages = 0;
};

// rssreader-tool update in the home named by the variables.
CRun Update(const std::string& home, bool sync)
{
    const std::string command = "HOME=" + Quoted(home) + " XDG_DATA_HOME=" + Quoted(home + "/data") +
                                " XDG_CONFIG_HOME=" + Quoted(home + "/config") + " " + Quoted(RSSREADER_TOOL) +
                                " update 2>/dev/null";
    CRun run;
    std::string output;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = Run(command, &output);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const nlohmann::json result = nlohmann::json::parse(output, nullptr, false);
    if (!ok || result.is_discarded()) {
        run.seconds = -1;
        return run;
    }
    run.newPages = result.value("totalNewPages", 0);
    run.requests = result.value("requests", 0);
    if (sync && result["sync"].is_object()) {
        run.syncSeconds = result["sync"].value("seconds", 0.0);
        run.bytes = result["sync"].value("bytesReceived", 0LL);
        run.requests = result["sync"].value("requests", 0);
    }
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int feedCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    CScratchFolder scratch;
    if (!MakeBenchHome(scratch, "bench-sync"))
        return 1;
    unsetenv("DBUS_SESSION_BUS_ADDRESS");

    // The server: one given, or one of our own in a folder the server's
    // user can reach.
    std::string serverDir;
    bool ownServer = false;
    if (const char* given = std::getenv("RSSREADER_TTRSS_DIR"); given != nullptr && *given != '\0') {
        serverDir = given;
    } else {
        std::string folder = "/tmp/bench-sync-ttrss-XXXXXX";
        if (mkdtemp(folder.data()) == nullptr)
            return 1;
        chmod(folder.c_str(), 0755);
        serverDir = folder + "/instance";
        std::fprintf(stderr, "bench-sync: starting the server...\n");
        if (!Run(Quoted(std::string(TTRSS_SCRIPTS_DIR) + "/start-ttrss.sh") + " " + Quoted(serverDir) + " >/dev/null")) {
            std::fprintf(stderr, "bench-sync: the server could not be started\n");
            return 1;
        }
        ownServer = true;
    }
    std::map<std::string, std::string> server = ReadEnv(serverDir + "/ttrss.env");
    auto stopServer = [&] {
        if (ownServer)
            Run(Quoted(std::string(TTRSS_SCRIPTS_DIR) + "/stop-ttrss.sh") + " " + Quoted(serverDir) + " 2>/dev/null");
    };
    const std::string psql = Quoted(server["TTRSS_PSQL"]) + " -At -c ";

    // The feeds, their documents, and the server subscribed to them (all
    // at once in its database: its API takes one at a time) and fetching
    // them with its own updater.
    CLoopbackHttpServer feeds;
    if (!feeds.Start())
        return 1;
    long long documentBytes = 0;
    auto serve = [&](int first) {
        documentBytes = 0;
        for (int feed = 0; feed < feedCount; ++feed) {
            CHttpAnswer answer = CHttpAnswer::Ok(FeedDocument(feed, kItemsPerFeed + first - 1, 1));
            answer.etag = "\"v" + std::to_string(first) + "\"";
            documentBytes += static_cast<long long>(answer.body.size());
            feeds.SetAnswer("/f" + std::to_string(feed) + ".xml", answer);
        }
    };
    serve(1);
    std::string sql = "DELETE FROM ttrss_user_entries; DELETE FROM ttrss_entries; DELETE FROM ttrss_feeds;"
                      "INSERT INTO ttrss_feeds (owner_uid, title, feed_url) VALUES ";
    std::string opml = "<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body>";
    for (int feed = 0; feed < feedCount; ++feed) {
        const std::string url = feeds.Url("/f" + std::to_string(feed) + ".xml");
        sql += std::string(feed == 0 ? "" : ",") + "(1, 'Bench feed " + std::to_string(feed) + "', '" + url + "')";
        opml += "<outline title=\"Bench feed " + std::to_string(feed) + "\" xmlUrl=\"" + url + "\"/>";
    }
    opml += "</body></opml>";
    auto serverFetch = [&] {
        std::fprintf(stderr, "bench-sync: the server fetches the feeds...\n");
        return Run(Quoted(server["TTRSS_UPDATE_CMD"]) + " >/dev/null 2>&1");
    };
    if (!Run(psql + Quoted(sql) + " >/dev/null") || !serverFetch()) {
        std::fprintf(stderr, "bench-sync: the server could not take the feeds\n");
        stopServer();
        return 1;
    }
    std::string articles;
    Run(psql + Quoted("SELECT count(*) FROM ttrss_user_entries") , &articles);
    std::fprintf(stderr, "bench-sync: the server holds %s articles\n", articles.c_str());

    // The two homes.
    const std::string direct = scratch.File("direct");
    const std::string synced = scratch.File("synced");
    for (const std::string& home : {direct, synced}) {
        std::filesystem::create_directories(home + "/data/RSSReader");
        std::ofstream(home + "/data/RSSReader/default.opml")
            << (home == direct ? opml : "<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body/></opml>");
    }
    const std::string setAccount = "printf '%s\\n' " + Quoted(server["TTRSS_PASSWORD"]) + " | HOME=" + Quoted(synced) +
                                   " XDG_DATA_HOME=" + Quoted(synced + "/data") + " XDG_CONFIG_HOME=" +
                                   Quoted(synced + "/config") + " " + Quoted(RSSREADER_TOOL) + " account set " +
                                   Quoted(server["TTRSS_URL"]) + " " + Quoted(server["TTRSS_USER"]) + " >/dev/null";
    if (!Run(setAccount)) {
        std::fprintf(stderr, "bench-sync: the account could not be set up\n");
        stopServer();
        return 1;
    }

    std::printf("bench-sync: %d feeds x %d items, %d repeats (median time)\n\n", feedCount, kItemsPerFeed, repeats);
    std::printf("%-22s %-7s %9s %9s %12s %9s %9s\n", "scenario", "side", "command s", "sync s", "bytes in",
                "requests", "new pages");
    auto row = [](const char* scenario, const char* side, const std::vector<CRun>& runs, long long bytes) {
        std::vector<double> seconds;
        std::vector<double> syncSeconds;
        for (const CRun& run : runs) {
            seconds.push_back(run.seconds);
            syncSeconds.push_back(run.syncSeconds);
        }
        std::printf("%-22s %-7s %9.3f %9.3f %12lld %9d %9d\n", scenario, side, Median(seconds), Median(syncSeconds),
                    bytes, runs.back().requests, runs.front().newPages);
    };

    // The first time: every item new (once: a second first run would not
    // be one).
    const long long firstBytes = documentBytes;
    const CRun directFirst = Update(direct, false);
    const CRun syncFirst = Update(synced, true);
    row("first (all new)", "direct", {directFirst}, documentBytes);
    row("first (all new)", "sync", {syncFirst}, syncFirst.bytes);

    std::vector<CRun> directSame;
    std::vector<CRun> syncSame;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        directSame.push_back(Update(direct, false));
        syncSame.push_back(Update(synced, true));
    }
    row("unchanged", "direct", directSame, 0);
    row("unchanged", "sync", syncSame, syncSame.back().bytes);

    serve(1 + kNewItemsPerFeed);
    serverFetch();
    const long long fiveNewBytes = documentBytes;
    const CRun directNew = Update(direct, false);
    const CRun syncNew = Update(synced, true);
    row("5 new a feed", "direct", {directNew}, fiveNewBytes);
    row("5 new a feed", "sync", {syncNew}, syncNew.bytes);

    std::vector<double> sameSeconds;
    for (const CRun& run : syncSame)
        sameSeconds.push_back(run.syncSeconds);
    std::printf("\nunchanged sync: %.3f s of sync (aim < 0.3 s), %.2f%% of the direct first run's bytes (aim < 5%%)\n",
                Median(sameSeconds), 100.0 * static_cast<double>(syncSame.back().bytes) / static_cast<double>(firstBytes));
    std::printf("the direct side answers validators with 304: its unchanged bytes are headers only\n");
    stopServer();
    return 0;
}
