// How long "Update All" takes, against newsboat doing the same reload, on
// feeds served from loopback: 200 feeds of 50 items, updated four times in
// a row on an empty store: first every item is new (10,000 pages), then
// nothing has changed (the server ignores validators), then nothing has
// changed and the server answers validators with 304, then every feed has
// 5 new items. Every answer carries an ETag and a Last-Modified.
//
// Two modes, each with its own stores:
//   loopback  the feeds at 127.0.0.1, answered at once; newsboat with its
//             default of one reload thread
//   latency   every answer 100 ms late, the feeds spread over 20 host names
//             (f0.localhost ... f19.localhost, all 127.0.0.1), as a real
//             network would have them; newsboat with four reload threads
//
// Both sides run as whole commands, as a user would start them:
//   rssreader-tool update
//   newsboat -x reload
// each with its own store or cache in a scratch folder. Every scenario is
// repeated, the side that goes first alternating, and the medians compared.
// After each run both stores are counted and must hold the same number of
// items.
//
// Usage: bench-update [REPEATS] [FEEDS] [loopback|latency|both]
//        (defaults 3, 200 and both)

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "TimeCommand.h"
#include "platform/FileSystem.h"
#include "support/LoopbackHttpServer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kItemsPerFeed = 50;
constexpr int kNewItemsPerFeed = 5;
constexpr int kHostNames = 20;
constexpr auto kLatency = std::chrono::milliseconds(100);

enum Scenario { kEmpty, kUnchanged, kUnchangedValidators, kFiveNew, kScenarios };
const char* const kScenarioNames[kScenarios] = {"empty store (all new)", "nothing changed",
                                                "nothing changed, 304s", "5 new items a feed"};

struct CMode {
    const char* name;
    bool latency;
    int newsboatThreads;
};

std::string FeedDocument(int feed, int items, int firstItem)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>"
                      "<title>Bench feed " + std::to_string(feed) + "</title>"
                      "<link>http://bench.example/f" + std::to_string(feed) + "/</link>"
                      "<description>Feed number " + std::to_string(feed) + "</description>";
    // Newest first, as feeds list them.
    for (int item = firstItem + items - 1; item >= firstItem; --item) {
        const std::string id = std::string("f") + std::to_string(feed) + "-i" + std::to_string(item);
        xml += "<item><title>Item " + id + " of the bench</title>"
               "<link>http://bench.example/" + id + "</link>"
               "<description>&lt;p&gt;" + std::string(700, 'x') + " " + id + "&lt;/p&gt;</description>"
               "<pubDate>" + std::to_string(1 + item % 28) + " Nov 2026 " + std::to_string(10 + item % 12) +
               ":00:00 +0000</pubDate></item>";
    }
    return xml + "</channel></rss>";
}

std::string CommandOutput(const std::string& command)
{
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t read;
        while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, read);
        pclose(pipe);
    }
    return output;
}

long long ReaderPageCount(const std::string& tool)
{
    const auto feeds = nlohmann::json::parse(CommandOutput("'" + tool + "' feeds 2>/dev/null"), nullptr, false);
    long long pages = 0;
    if (feeds.is_array()) {
        for (const auto& feed : feeds)
            pages += feed["pageCount"].get<long long>();
    }
    return pages;
}

long long NewsboatItemCount(const std::string& cache)
{
    sqlite3* db = nullptr;
    long long count = -1;
    if (sqlite3_open_v2(cache.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM rss_item", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return count;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct CTimes {
    std::vector<double> reader[kScenarios], newsboat[kScenarios];
};

// One mode: the subscriptions written for its URLs, then REPEATS rounds of
// the four scenarios on fresh stores. False when the stores disagreed.
bool RunMode(const CMode& mode, CLoopbackHttpServer& server, const std::string& tool, const std::string& scratch,
             int repeats, int feedCount, CTimes& times)
{
    const std::string dataFolder = scratch + "/XDG_DATA_HOME/RSSReader";
    const std::string urls = scratch + "/newsboat-urls", config = scratch + "/newsboat-config";
    const std::string cache = scratch + "/newsboat-cache.db";
    std::ofstream(config) << "reload-threads " << mode.newsboatThreads << "\n";
    auto urlOf = [&](int feed) {
        const std::string path = "/feed" + std::to_string(feed) + ".xml";
        return mode.latency ? server.Url("f" + std::to_string(feed % kHostNames) + ".localhost", path)
                            : server.Url(path);
    };
    {
        std::ofstream opml(dataFolder + "/default.opml");
        std::ofstream list(urls);
        opml << "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Bench</title></head><body>";
        for (int feed = 0; feed < feedCount; ++feed) {
            if (feed % 50 == 0)
                opml << (feed ? "</outline>" : "") << "<outline title=\"Folder " << feed / 50 << "\">";
            opml << "<outline title=\"Feed " << feed << "\" xmlUrl=\"" << urlOf(feed) << "\"/>";
            list << urlOf(feed) << "\n";
        }
        opml << "</outline></body></opml>\n";
    }
    auto serve = [&](int extraItems, bool conditional) {
        for (int feed = 0; feed < feedCount; ++feed) {
            CHttpAnswer answer = CHttpAnswer::Ok(FeedDocument(feed, kItemsPerFeed + extraItems, 0));
            answer.etag = "\"f" + std::to_string(feed) + "-" + std::to_string(extraItems) + "\"";
            answer.lastModified = extraItems ? "Wed, 02 Dec 2026 10:00:00 GMT" : "Tue, 01 Dec 2026 10:00:00 GMT";
            answer.conditional = conditional;
            if (mode.latency)
                answer.delay = kLatency;
            server.SetAnswer("/feed" + std::to_string(feed) + ".xml", std::move(answer));
        }
    };

    bool countsAgree = true;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (const char* file : {"RSS.CDB", "RSSITEM.CDB"}) {
            for (const char* suffix : {"", "-wal", "-shm"})
                fs::remove(dataFolder + "/" + file + suffix);
        }
        fs::remove(cache);
        for (int scenario = 0; scenario < kScenarios; ++scenario) {
            serve(scenario == kFiveNew ? kNewItemsPerFeed : 0, scenario != kUnchanged);
            const bool readerFirst = (repeat + scenario) % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == readerFirst)
                    times.reader[scenario].push_back(TimeCommand({tool, "update"}));
                else
                    times.newsboat[scenario].push_back(
                        TimeCommand({"newsboat", "-u", urls, "-c", cache, "-C", config, "-x", "reload"}));
            }
            const long long expected =
                static_cast<long long>(feedCount) * (kItemsPerFeed + (scenario == kFiveNew ? kNewItemsPerFeed : 0));
            const long long ours = ReaderPageCount(tool), theirs = NewsboatItemCount(cache);
            if (ours != expected || theirs != expected) {
                countsAgree = false;
                std::fprintf(stderr, "%s, repeat %d, %s: reader stored %lld, newsboat %lld, expected %lld\n",
                             mode.name, repeat + 1, kScenarioNames[scenario], ours, theirs, expected);
            }
        }
    }
    return countsAgree;
}

bool PrintMode(const CMode& mode, const CTimes& times)
{
    std::printf("\n%s (newsboat with %d reload thread%s)\n", mode.name, mode.newsboatThreads,
                mode.newsboatThreads == 1 ? "" : "s");
    std::printf("%-26s %12s %12s %8s\n", "run", "reader (s)", "newsboat (s)", "ratio");
    bool failed = false;
    for (int scenario = 0; scenario < kScenarios; ++scenario) {
        failed |= std::any_of(times.reader[scenario].begin(), times.reader[scenario].end(), [](double t) { return t < 0; });
        failed |= std::any_of(times.newsboat[scenario].begin(), times.newsboat[scenario].end(), [](double t) { return t < 0; });
        const double ours = Median(times.reader[scenario]), theirs = Median(times.newsboat[scenario]);
        std::printf("%-26s %12.3f %12.3f %8.2f\n", kScenarioNames[scenario], ours, theirs, theirs > 0 ? ours / theirs : 0);
    }
    const double unconditional = Median(times.reader[kUnchanged]);
    std::printf("reader, 304s against its own unconditional unchanged run: %.2f\n",
                unconditional > 0 ? Median(times.reader[kUnchangedValidators]) / unconditional : 0);
    return !failed;
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int feedCount = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const std::string tool = (fs::path(NativePath(GetModuleFileName())).parent_path() / "rssreader-tool").string();
    if (!fs::exists(tool) || TimeCommand({"newsboat", "-v"}) < 0) {
        std::fprintf(stderr, "bench-update needs %s and newsboat (apt-get install newsboat)\n", tool.c_str());
        return 2;
    }

    // A scratch home for the reader; newsboat's files beside it.
    CScratchFolder scratchFolder;
    if (!scratchFolder.Create("bench-update"))
        return 1;
    const std::string& scratch = scratchFolder.Path();
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string folder = scratch + "/" + name;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        setenv(name, folder.c_str(), 1);
    }
    setenv("RSSREADER_DEBUG", "0", 1);
    fs::create_directories(scratch + "/XDG_DATA_HOME/RSSReader");

    CLoopbackHttpServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the loopback server\n");
        return 1;
    }
    const std::string which = argc > 3 ? argv[3] : "both";
    const CMode modes[] = {{"loopback", false, 1}, {"latency (100 ms, 20 hosts)", true, 4}};
    CTimes times[2];
    bool countsAgree = true, ran[2] = {false, false};
    for (int mode = 0; mode < 2; ++mode) {
        if (which != "both" && which != (mode == 0 ? "loopback" : "latency"))
            continue;
        ran[mode] = true;
        countsAgree = RunMode(modes[mode], server, tool, scratch, repeats, feedCount, times[mode]) && countsAgree;
    }
    server.Stop();

    std::printf("feeds: %d of %d items, %d repeats, medians of whole commands\n", feedCount, kItemsPerFeed, repeats);
    bool failed = false;
    for (int mode = 0; mode < 2; ++mode) {
        if (ran[mode])
            failed = !PrintMode(modes[mode], times[mode]) || failed;
    }
    std::printf("\nboth stored the same number of items after every run: %s\n", countsAgree ? "yes" : "NO");
    if (failed)
        std::printf("a command failed\n");
    return countsAgree && !failed ? 0 : 1;
}
