// How long the reader takes to start: from the start of the process to the
// channel tree drawn with its labels, on a store of 500 feeds in 40 folders
// with 100,000 pages, against the same start-up through "rssreader-tool
// tree" (the session's start and every label, without a window), whole
// commands both, in the same run. The window is drawn offscreen; the reader
// writes a debug line when it has drawn the tree, and the time is taken when
// that line arrives. Prints the medians of 5, their ratio, and the reader's
// peak memory.
//
// Then the same start-up, "rssreader-tool tree" and one edit of the tree
// ("rssreader-tool mkdir") on subscription files of 10,000 and 100,000
// feeds (in folders of 100, each feed stored with a page), as ratios
// against a bare load of the file (libxml2 parsing it, in this process).
//
// Usage: bench-startup [REPEATS [FEEDS...]]
//   REPEATS: 5 by default (the large trees take at most 3); FEEDS: the sizes
//   of the large trees, 10000 and 100000 by default.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <libxml/parser.h>

#include "BenchHome.h"
#include "Draw.h"
#include "TimeCommand.h"
#include "platform/FileSystem.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/Setting.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFeeds = 500;
constexpr int kFolders = 40;
constexpr int kPagesPerFeed = 200; // 100,000 pages
constexpr DWORD kMaxPages200 = 4;  // the option index that keeps 200 pages a feed

std::wstring FeedUrl(int feed) { return L"http://bench.invalid/feed" + std::to_wstring(feed) + L".xml"; }

// default.opml and the store: every feed with its record and its pages,
// the first half of each feed's pages read.
bool BuildStore(const std::string& dataFolder)
{
    fs::create_directories(dataFolder);
    {
        std::ofstream opml(dataFolder + "/default.opml");
        opml << "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Bench</title></head><body>";
        for (int feed = 0; feed < kFeeds; ++feed) {
            const int folder = feed * kFolders / kFeeds;
            if (feed == 0 || folder != (feed - 1) * kFolders / kFeeds)
                opml << (feed ? "</outline>" : "") << "<outline title=\"Folder " << folder << "\">";
            opml << "<outline title=\"Feed " << feed << "\" xmlUrl=\"" << WideToUtf8(FeedUrl(feed)) << "\"/>";
        }
        opml << "</outline></body></opml>\n";
    }
    CSetting::Instance().SetMaxPages(kMaxPages200);
    CDraw draw(20261208);
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const CDateTime now = CDateTime::GetCurrentTime();
    bool ok = feeds.IsOpen() && items.IsOpen();
    for (int feed = 0; ok && feed < kFeeds; ++feed) {
        FeedRecord record = MakeNewFeedRecord(FeedUrl(feed), L"Feed " + std::to_wstring(feed), L"");
        record.pageCount = kPagesPerFeed;
        record.unreadCount = kPagesPerFeed / 2;
        record.updateStatus = kFeedStatusUpdated;
        ok = feeds.WriteFeed(record) != 0;
        CRecordDatabase::CWriteGroup group(items);
        for (int page = 0; ok && page < kPagesPerFeed; ++page) {
            PageRecord record_page;
            record_page.feedId = record.feedId;
            record_page.key = FeedUrl(feed) + L"/item" + std::to_wstring(page);
            record_page.link = record_page.key;
            record_page.title = L"Item " + std::to_wstring(page) + L" of feed " + std::to_wstring(feed);
            record_page.description = std::wstring(200 + draw.Below(600), L'x');
            record_page.state = page < kPagesPerFeed / 2 ? PageStateRead : PageStateUnread;
            record_page.date = now.AddDays(-(page % 20) / 24.0);
            ok = items.WritePage(record_page) != 0;
        }
        ok = ok && group.Commit();
    }
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    return ok;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Starts the window offscreen, waits for its "tree drawn" line and ends it
// (SIGTERM: its normal way out). Seconds to the line, or -1; peakKb gets
// the process's peak resident size.
double TimeWindow(const std::string& program, long& peakKb)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::freopen("/dev/null", "w", stdout);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execl(program.c_str(), program.c_str(), nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    double seconds = -1;
    std::string output;
    char buffer[65536];
    ssize_t got;
    while (seconds < 0 && (got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<size_t>(got));
        if (output.find("[CChannelTreeView::OnPaint] tree drawn") != std::string::npos)
            seconds = Seconds(start);
    }
    peakKb = 0;
    std::ifstream status("/proc/" + std::to_string(child) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            peakKb = std::atol(line.c_str() + 6);
    }
    kill(child, SIGTERM);
    // Drain the rest of its output so that its shutdown never blocks on the pipe.
    while (read(pipeFds[0], buffer, sizeof buffer) > 0) {
    }
    close(pipeFds[0]);
    int exitStatus = 0;
    waitpid(child, &exitStatus, 0);
    if (!WIFEXITED(exitStatus) || WEXITSTATUS(exitStatus) != 0)
        return -1;
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A large tree: feeds in folders of 100, each feed stored with one page.
bool BuildLargeStore(const std::string& dataFolder, int feedCount)
{
    fs::create_directories(dataFolder);
    {
        std::ofstream opml(dataFolder + "/default.opml");
        opml << "<?xml version=\"1.0\"?><opml version=\"1.0\"><head><title>Bench</title></head><body>\n";
        for (int feed = 0; feed < feedCount; ++feed) {
            if (feed % 100 == 0)
                opml << (feed ? "</outline>\n" : "") << "<outline title=\"Folder " << feed / 100 << "\">\n";
            opml << "<outline title=\"Feed " << feed << "\" xmlUrl=\"" << WideToUtf8(FeedUrl(feed)) << "\"/>\n";
        }
        opml << "</outline></body></opml>\n";
    }
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const CDateTime now = CDateTime::GetCurrentTime();
    bool ok = feeds.IsOpen() && items.IsOpen();
    for (int first = 0; ok && first < feedCount; first += 1000) {
        CRecordDatabase::CWriteGroup feedGroup(feeds);
        CRecordDatabase::CWriteGroup pageGroup(items);
        for (int feed = first; ok && feed < std::min(feedCount, first + 1000); ++feed) {
            FeedRecord record = MakeNewFeedRecord(FeedUrl(feed), L"Feed " + std::to_wstring(feed), L"");
            record.pageCount = 1;
            record.unreadCount = 1;
            ok = feeds.WriteFeed(record) != 0;
            PageRecord page;
            page.feedId = record.feedId;
            page.key = FeedUrl(feed) + L"/item";
            page.link = page.key;
            page.title = L"Item";
            page.date = now;
            ok = ok && items.WritePage(page) != 0;
        }
        ok = ok && feedGroup.Commit() && pageGroup.Commit();
    }
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    return ok;
}

// libxml2's parse of the file and nothing else.
double TimeBareLoad(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    const double seconds = Seconds(start);
    xmlFreeDoc(doc);
    return doc != nullptr ? seconds : -1;
}

// The start-up, the tool's tree and one edit on a tree of feedCount feeds.
bool RunLargeTree(const std::string& window, const std::string& tool, int feedCount, int repeats)
{
    CScratchFolder scratch;
    if (!MakeBenchHome(scratch, "bench-startup"))
        return false;
    std::fprintf(stderr, "building %d feeds in folders of 100...\n", feedCount);
    if (!BuildLargeStore(BenchDataFolder(scratch), feedCount)) {
        std::fprintf(stderr, "the store could not be built\n");
        return false;
    }
    const std::string file = BenchDataFolder(scratch) + "/default.opml";
    long peakKb = 0;
    TimeCommand({tool, "tree"}); // records settled, file cache warm
    std::vector<double> loads, windows, trees, edits;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        loads.push_back(TimeBareLoad(file));
        windows.push_back(TimeWindow(window, peakKb));
        trees.push_back(TimeCommand({tool, "tree"}));
        edits.push_back(TimeCommand({tool, "mkdir", "Bench " + std::to_string(repeat)}));
    }
    bool failed = false;
    for (const auto* times : {&loads, &windows, &trees, &edits}) {
        for (double time : *times)
            failed |= time < 0;
    }
    const double load = Median(loads);
    auto row = [&](const char* what, double seconds) {
        std::printf("%-44s %10.3f %10.1f\n", what, seconds, load > 0 ? seconds / load : 0);
    };
    std::printf("\n%d feeds in %d folders, medians of %d\n", feedCount, feedCount / 100, repeats);
    std::printf("%-44s %10s %10s\n", "", "seconds", "ratio");
    row("bare load of the file (baseline)", load);
    row("rssreader: process start to the tree drawn", Median(windows));
    row("rssreader-tool tree", Median(trees));
    row("rssreader-tool mkdir (one edit)", Median(edits));
    std::printf("rssreader peak memory: %.1f MB\n", peakKb / 1024.0);
    if (feedCount >= 100000)
        std::printf("aim: the tree drawn within 2 s: %s\n", Median(windows) < 2.0 ? "yes" : "NO");
    if (failed)
        std::printf("a run failed\n");
    // Written before the next child starts, which would write it again.
    std::fflush(stdout);
    return !failed;
}

} // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path bin = fs::path(NativePath(GetModuleFileName())).parent_path();
    const std::string window = (bin / "rssreader").string(), tool = (bin / "rssreader-tool").string();
    if (!fs::exists(window) || !fs::exists(tool)) {
        std::fprintf(stderr, "bench-startup needs %s and %s\n", window.c_str(), tool.c_str());
        return 2;
    }
    CScratchFolder scratch;
    if (!MakeBenchHome(scratch, "bench-startup"))
        return 1;
    // Both sides write their debug lines: the window's mark the moment its
    // tree is drawn.
    setenv("RSSREADER_DEBUG", "1", 1);
    std::fprintf(stderr, "building %d feeds in %d folders with %d pages...\n", kFeeds, kFolders, kFeeds * kPagesPerFeed);
    if (!BuildStore(BenchDataFolder(scratch))) {
        std::fprintf(stderr, "the store could not be built\n");
        return 1;
    }

    // A first start of each, not counted: both then start from the same
    // settled store (warm file cache, counters already right).
    long peakKb = 0, maxPeakKb = 0;
    TimeCommand({tool, "tree"});
    TimeWindow(window, peakKb);

    std::vector<double> windowTimes, toolTimes;
    bool failed = false;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (repeat % 2 == 0)) {
                windowTimes.push_back(TimeWindow(window, peakKb));
                maxPeakKb = std::max(maxPeakKb, peakKb);
            } else {
                toolTimes.push_back(TimeCommand({tool, "tree"}));
            }
        }
    }
    for (double time : windowTimes)
        failed |= time < 0;
    for (double time : toolTimes)
        failed |= time < 0;

    const double ours = Median(windowTimes), baseline = Median(toolTimes);
    std::printf("store: %d feeds in %d folders, %d pages; medians of %d whole starts\n\n", kFeeds, kFolders,
                kFeeds * kPagesPerFeed, repeats);
    std::printf("%-44s %10s\n", "start-up", "seconds");
    std::printf("%-44s %10.3f\n", "rssreader: process start to the tree drawn", ours);
    std::printf("%-44s %10.3f\n", "rssreader-tool tree (baseline)", baseline);
    std::printf("%-44s %10.2f\n", "ratio", baseline > 0 ? ours / baseline : 0);
    std::printf("\nrssreader peak memory: %.1f MB\n", maxPeakKb / 1024.0);
    std::printf("aim: the tree drawn within 1 s: %s\n", ours < 1.0 ? "yes" : "NO");
    if (failed)
        std::printf("a start failed\n");
    std::fflush(stdout);

    std::vector<int> feedCounts;
    for (int arg = 2; arg < argc; ++arg)
        feedCounts.push_back(std::max(100, std::atoi(argv[arg])));
    if (feedCounts.empty())
        feedCounts = {10000, 100000};
    for (int feedCount : feedCounts)
        failed |= !RunLargeTree(window, tool, feedCount, std::min(repeats, 3));
    return failed ? 1 : 0;
}
