// How long "Update All" takes, against newsboat doing the same reload, on
// feeds served from loopback: 200 feeds of 50 items, updated three times in
// a row on an empty store: first every item is new (10,000 pages), then
// nothing has changed, then every feed has 5 new items.
//
// Both sides run as whole commands, as a user would start them:
//   rssreader-tool update                  (the reader's run, one feed at a time)
//   newsboat -x reload                     (its default of one reload thread)
// each with its own store or cache in a scratch folder. Every scenario is
// repeated, the side that goes first alternating, and the medians compared.
// After each run both stores are counted and must hold the same number of
// items.
//
// Usage: bench-update [REPEATS] [FEEDS]   (defaults 3 and 200)

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
#include "platform/FileSystem.h"
#include "support/LoopbackHttpServer.h"

namespace fs = std::filesystem;

namespace {

constexpr int kItemsPerFeed = 50;
constexpr int kNewItemsPerFeed = 5;

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

// Runs a command with its output thrown away; wall-clock seconds, or a
// negative number when it failed.
double TimeCommand(const std::vector<std::string>& argv)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
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
    const std::string dataFolder = scratch + "/XDG_DATA_HOME/RSSReader";
    fs::create_directories(dataFolder);
    const std::string urls = scratch + "/newsboat-urls", config = scratch + "/newsboat-config";
    const std::string cache = scratch + "/newsboat-cache.db";
    std::ofstream(config) << "reload-threads 1\n";

    CLoopbackHttpServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start the loopback server\n");
        return 1;
    }
    auto serve = [&](int extraItems) {
        for (int feed = 0; feed < feedCount; ++feed)
            server.SetAnswer("/feed" + std::to_string(feed) + ".xml",
                             CHttpAnswer::Ok(FeedDocument(feed, kItemsPerFeed + extraItems, 0)));
    };
    {
        std::ofstream opml(dataFolder + "/default.opml");
        std::ofstream list(urls);
        opml << "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Bench</title></head><body>";
        for (int feed = 0; feed < feedCount; ++feed) {
            if (feed % 50 == 0)
                opml << (feed ? "</outline>" : "") << "<outline title=\"Folder " << feed / 50 << "\">";
            const std::string url = server.Url("/feed" + std::to_string(feed) + ".xml");
            opml << "<outline title=\"Feed " << feed << "\" xmlUrl=\"" << url << "\"/>";
            list << url << "\n";
        }
        opml << "</outline></body></opml>\n";
    }

    const char* scenarios[] = {"empty store (all new)", "nothing changed", "5 new items a feed"};
    std::vector<double> reader[3], newsboat[3];
    bool countsAgree = true;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (const char* file : {"RSS.CDB", "RSSITEM.CDB"}) {
            for (const char* suffix : {"", "-wal", "-shm"})
                fs::remove(dataFolder + "/" + file + suffix);
        }
        fs::remove(cache);
        for (int scenario = 0; scenario < 3; ++scenario) {
            serve(scenario == 2 ? kNewItemsPerFeed : 0);
            const bool readerFirst = (repeat + scenario) % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == readerFirst)
                    reader[scenario].push_back(TimeCommand({tool, "update"}));
                else
                    newsboat[scenario].push_back(
                        TimeCommand({"newsboat", "-u", urls, "-c", cache, "-C", config, "-x", "reload"}));
            }
            const long long expected = static_cast<long long>(feedCount) * (kItemsPerFeed + (scenario == 2 ? 5 : 0));
            const long long ours = ReaderPageCount(tool), theirs = NewsboatItemCount(cache);
            if (ours != expected || theirs != expected) {
                countsAgree = false;
                std::fprintf(stderr, "repeat %d, %s: reader stored %lld, newsboat %lld, expected %lld\n", repeat + 1,
                             scenarios[scenario], ours, theirs, expected);
            }
        }
    }
    server.Stop();

    std::printf("feeds: %d of %d items on loopback, %d repeats, medians of whole commands\n\n", feedCount,
                kItemsPerFeed, repeats);
    std::printf("%-26s %12s %12s %8s\n", "run", "reader (s)", "newsboat (s)", "ratio");
    bool failed = false;
    for (int scenario = 0; scenario < 3; ++scenario) {
        failed |= std::any_of(reader[scenario].begin(), reader[scenario].end(), [](double t) { return t < 0; });
        failed |= std::any_of(newsboat[scenario].begin(), newsboat[scenario].end(), [](double t) { return t < 0; });
        const double ours = Median(reader[scenario]), theirs = Median(newsboat[scenario]);
        std::printf("%-26s %12.3f %12.3f %8.2f\n", scenarios[scenario], ours, theirs, theirs > 0 ? ours / theirs : 0);
    }
    std::printf("\nboth stored the same number of items after every run: %s\n", countsAgree ? "yes" : "NO");
    if (failed)
        std::printf("a command failed\n");
    return countsAgree && !failed ? 0 : 1;
}
