// How much the feed parser costs on top of libxml2 building the tree alone,
// on a large, realistic RSS 2.0 document: time (median and minimum of
// interleaved runs, as wall-clock time and as the CPU time the call took,
// which other load on a shared machine disturbs far less) and peak memory
// (each measured in a fresh child process).
// Then the same for a careless copy of it, with a bare "&" in every item,
// which the parser reads a second time from a repaired text.
//
// Usage: bench-parse [RUNS]   (RUNS defaults to 15)

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <libxml/parser.h>
#include <malloc.h>
#include <optional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "content/FeedParser.h"
#include "content/XmlReader.h"
#include "Draw.h"
#include "ScratchFolder.h"
#include "platform/Calendar.h"
#include "platform/Unicode.h"

namespace {

constexpr int kItemCount = 5000;
constexpr int kDefaultRuns = 15;
constexpr std::uint32_t kSeed = 20040906;

// ---------------------------------------------------------------------------
// The document: byte-identical wherever it is built (see CDraw).

// A few non-ASCII words, so the UTF-8 to wide conversion does real work.
const char* const kWords[] = {
    "river", "harbour", "lantern", "quiet", "market", "winter", "signal", "garden", "copper", "orbit",
    "meadow", "ledger", "station", "candle", "thunder", "archive", "velvet", "compass", "bridge", "canvas",
    "north", "pattern", "silver", "engine", "village", "horizon", "timber", "ribbon", "island", "marble",
    "council", "weather", "library", "journal", "fabric", "valley", "mirror", "planet", "tunnel", "anchor",
    "café", "naïve", "Zürich", "façade", "señor", "déjà", "smørrebrød", "Ελλάδα", "東京", "crème",
    "report", "update", "release", "figures", "season", "review", "budget", "schedule", "network", "survey",
};
constexpr std::uint32_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kCategories[] = {"News", "Technology", "Science", "Culture", "Sport", "Travel", "Business",
                                   "Opinion & Analysis"};
const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void AppendWords(std::string& out, CDraw& draw, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0)
            out += ' ';
        out += kWords[draw.Below(kWordCount)];
    }
}

// Ordinary article markup: paragraphs with links (whose query strings carry
// "&"), emphasis, quotes and now and then an image.
std::string MakeArticleHtml(CDraw& draw, size_t wantedEscapedSize, bool escaped)
{
    std::string html;
    auto escapedSize = [&] {
        if (!escaped)
            return html.size();
        size_t size = 0;
        for (char ch : html)
            size += ch == '<' || ch == '>' ? 4 : ch == '&' ? 5 : ch == '"' ? 6 : 1;
        return size;
    };
    while (escapedSize() < wantedEscapedSize) {
        html += "<p>";
        AppendWords(html, draw, draw.Between(8, 20));
        switch (draw.Below(4)) {
        case 0:
            html += " <a href=\"https://news.example.org/read?id=" + std::to_string(draw.Below(100000))
                    + "&amp;ref=feed\">";
            AppendWords(html, draw, draw.Between(1, 3));
            html += "</a>";
            break;
        case 1:
            html += " <em>";
            AppendWords(html, draw, 2);
            html += "</em>, \"";
            AppendWords(html, draw, 3);
            html += "\"";
            break;
        case 2:
            html += " <img src=\"https://img.example.org/" + std::to_string(draw.Below(100000))
                    + ".jpg\" alt=\"picture\" width=\"320\" height=\"200\"/>";
            break;
        default:
            html += " <strong>";
            AppendWords(html, draw, 1);
            html += "</strong> &amp; more";
            break;
        }
        html += ".</p>";
    }
    return html;
}

void AppendEscaped(std::string& out, const std::string& text)
{
    for (char ch : text) {
        switch (ch) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
}

// "Mon, 06 Sep 2004 16:45:00 GMT", weekday consistent with the date; a few
// carry a numeric zone as many real feeds do.
std::string Rfc822Date(std::int64_t secondsSinceEpoch, CDraw& draw)
{
    const std::int64_t days = secondsSinceEpoch / 86400;
    const std::int64_t secondOfDay = secondsSinceEpoch % 86400;
    int year = 0, month = 0, day = 0;
    Calendar::CivilFromDays(days, year, month, day);
    const char* zone = "GMT";
    if (draw.OneIn(8))
        zone = draw.OneIn(2) ? "+0200" : "-0500";
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %s", kDayNames[(days + 4) % 7], day,
                  kMonthNames[month - 1], year, static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60), zone);
    return text;
}

std::string MakeFeedDocument()
{
    CDraw draw(kSeed);
    std::string xml;
    xml.reserve(11 * 1024 * 1024);
    xml += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<rss version=\"2.0\" xmlns:atom=\"http://www.w3.org/2005/Atom\">\n"
           "<channel>\n"
           "<title>Example Daily &amp; Weekly</title>\n"
           "<link>https://news.example.org/</link>\n"
           "<description>Everything that happened, and some that did not.</description>\n"
           "<language>en-gb</language>\n"
           "<atom:link href=\"https://news.example.org/feed.xml\" rel=\"self\" type=\"application/rss+xml\"/>\n"
           "<lastBuildDate>Mon, 06 Sep 2004 16:45:00 GMT</lastBuildDate>\n"
           "<ttl>60</ttl>\n";
    std::int64_t when = 1094489100; // 2004-09-06 16:45:00 UTC, newest first
    for (int index = 0; index < kItemCount; ++index) {
        const std::string link = "https://news.example.org/story/" + std::to_string(index);
        xml += "<item>\n<title>";
        std::string title;
        AppendWords(title, draw, draw.Between(4, 10));
        title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
        if (draw.OneIn(10))
            title += " & \"more\"";
        AppendEscaped(xml, title);
        xml += "</title>\n<link>" + link + "</link>\n";
        xml += "<guid isPermaLink=\"false\">urn:example:story:" + std::to_string(index) + "</guid>\n";
        xml += "<pubDate>" + Rfc822Date(when, draw) + "</pubDate>\n";
        when -= draw.Between(20 * 60, 30 * 3600);

        const size_t wanted = draw.Between(1500, 2000);
        if (index % 6 == 5) {
            xml += "<description><![CDATA[" + MakeArticleHtml(draw, wanted, false) + "]]></description>\n";
        } else {
            xml += "<description>";
            AppendEscaped(xml, MakeArticleHtml(draw, wanted, true));
            xml += "</description>\n";
        }
        xml += "<category>";
        AppendEscaped(xml, kCategories[draw.Below(sizeof(kCategories) / sizeof(kCategories[0]))]);
        xml += "</category>\n";
        if (index % 4 == 0) {
            xml += "<enclosure url=\"https://media.example.org/audio/" + std::to_string(index)
                   + ".mp3\" length=\"" + std::to_string(draw.Between(1000000, 90000000))
                   + "\" type=\"audio/mpeg\"/>\n";
        }
        xml += "</item>\n";
    }
    xml += "</channel>\n</rss>\n";
    return xml;
}

// The document with one bare "&" per item, in an element the parser skips,
// so that both reads give the same items.
std::string MakeCarelessCopy(std::string document)
{
    const std::string from = "urn:example:story:";
    const std::string to = "urn:example:story&";
    for (size_t pos = document.find(from); pos != std::string::npos; pos = document.find(from, pos + to.size()))
        document.replace(pos, from.size(), to);
    return document;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// ---------------------------------------------------------------------------
// Measuring.

using CClock = std::chrono::steady_clock;

struct CTimes {
    std::vector<double> wall;
    std::vector<double> cpu;
};

double CpuMilliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Wall-clock and CPU time of one call, in ms.
void TimeOf(const std::function<void()>& work, CTimes& times)
{
    const auto start = CClock::now();
    const double cpuStart = CpuMilliseconds();
    work();
    times.cpu.push_back(CpuMilliseconds() - cpuStart);
    times.wall.push_back(std::chrono::duration<double, std::milli>(CClock::now() - start).count());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Resident set size now, in kB.
long CurrentRssKb()
{
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return -1;
    long sizePages = 0, residentPages = 0;
    const int read = std::fscanf(statm, "%ld %ld", &sizePages, &residentPages);
    std::fclose(statm);
    return read == 2 ? residentPages * (::sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// The growth of the peak resident set that one call causes, in kB, measured
// in a forked child so that neither the other contender nor the timing runs'
// freed-but-kept heap can hide or inflate it. The child reports its resident
// size just before the call and its ru_maxrss after it.
std::optional<long> PeakGrowthKb(const std::function<void()>& work)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return std::nullopt;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        ::close(pipeEnds[0]);
        long report[2] = {CurrentRssKb(), -1};
        work();
        rusage usage{};
        if (::getrusage(RUSAGE_SELF, &usage) == 0)
            report[1] = usage.ru_maxrss;
        const bool sent = ::write(pipeEnds[1], report, sizeof report) == static_cast<ssize_t>(sizeof report);
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    long report[2] = {-1, -1};
    size_t received = 0;
    while (received < sizeof report) {
        const ssize_t got = ::read(pipeEnds[0], reinterpret_cast<char*>(report) + received, sizeof report - received);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        received += static_cast<size_t>(got);
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (received != sizeof report || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || report[0] < 0
        || report[1] < 0)
        return std::nullopt;
    return report[1] - report[0];
}

std::string Megabytes(std::optional<long> kb)
{
    if (!kb)
        return "(unavailable)";
    char text[32];
    std::snprintf(text, sizeof text, "%+.0f MB", static_cast<double>(*kb) / 1024.0);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("RSSREADER_DEBUG", "0", 1);

    int runs = kDefaultRuns;
    if (argc > 2 || (argc == 2 && (std::sscanf(argv[1], "%d", &runs) != 1 || runs < 1))) {
        std::fprintf(stderr, "usage: bench-parse [RUNS]   (RUNS >= 1, default %d)\n", kDefaultRuns);
        return 2;
    }
#ifndef __OPTIMIZE__
    std::printf("warning: built without optimisation; the figures say little\n");
#endif

    CScratchFolder scratch;
    if (!scratch.Create("bench-parse"))
        return 1;
    const std::string path = scratch.File("feed.xml");
    const std::string carelessPath = scratch.File("careless.xml");
    {
        const std::string document = MakeFeedDocument();
        if (!WriteWholeFile(path, document) || !WriteWholeFile(carelessPath, MakeCarelessCopy(document))) {
            std::fprintf(stderr, "bench-parse: cannot write to %s\n", scratch.File("").c_str());
            return 1;
        }
    }
    struct stat info {};
    ::stat(path.c_str(), &info);
    const std::wstring widePath = Utf8ToWide(path);

    xmlInitParser();
    size_t feedItems = 0;
    bool treeRead = false;
    const auto parseFeed = [&] {
        auto channel = ParseFeedFile(widePath);
        feedItems = channel ? channel->items.size() : 0;
    }; // the channel is destroyed inside the measured call
    const auto readTree = [&] {
        xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, kXmlReadOptions);
        treeRead = doc != nullptr;
        xmlFreeDoc(doc);
    };
    const auto checkFeed = [&] {
        if (feedItems == kItemCount)
            return true;
        std::fprintf(stderr, "bench-parse: ParseFeedFile gave %zu items, expected %d\n", feedItems, kItemCount);
        return false;
    };

    const std::wstring carelessWidePath = Utf8ToWide(carelessPath);
    const auto parseCareless = [&] {
        auto channel = ParseFeedFile(carelessWidePath);
        feedItems = channel ? channel->items.size() : 0;
    };
    const auto readCarelessTree = [&] {
        xmlDoc* doc = xmlReadFile(carelessPath.c_str(), nullptr, kXmlReadOptions);
        treeRead = doc != nullptr;
        xmlFreeDoc(doc);
    };

    // Memory first, before this process has parsed anything: freed heap it
    // kept would be inherited by the children and reused by their calls.
    ::malloc_trim(0);
    const std::optional<long> feedPeak = PeakGrowthKb(parseFeed);
    const std::optional<long> treePeak = PeakGrowthKb(readTree);
    const std::optional<long> carelessPeak = PeakGrowthKb(parseCareless);
    const std::optional<long> carelessTreePeak = PeakGrowthKb(readCarelessTree);

    // One untimed call each: warms caches and checks both work at all.
    parseFeed();
    if (!checkFeed())
        return 1;
    readTree();
    if (!treeRead) {
        std::fprintf(stderr, "bench-parse: xmlReadFile could not read the document\n");
        return 1;
    }

    // Alternating the two spreads drift (frequency scaling, other load) evenly.
    CTimes feedTimes, treeTimes;
    for (int run = 0; run < runs; ++run) {
        TimeOf(parseFeed, feedTimes);
        if (!checkFeed())
            return 1;
        TimeOf(readTree, treeTimes);
    }

    const double feedMedian = Median(feedTimes.wall);
    const double treeMedian = Median(treeTimes.wall);
    std::printf("file: %.1f MB, %d items\n", static_cast<double>(info.st_size) / (1024.0 * 1024.0), kItemCount);
    std::printf("runs: %d each, interleaved\n", runs);
    std::printf("ParseFeedFile: median %.1f ms (min %.1f), cpu %.1f ms\n", feedMedian,
                *std::min_element(feedTimes.wall.begin(), feedTimes.wall.end()), Median(feedTimes.cpu));
    std::printf("xmlReadFile+xmlFreeDoc: median %.1f ms (min %.1f), cpu %.1f ms\n", treeMedian,
                *std::min_element(treeTimes.wall.begin(), treeTimes.wall.end()), Median(treeTimes.cpu));
    std::printf("ratio (median): %.2f, cpu %.2f (target <= 1.3)\n", feedMedian / treeMedian,
                Median(feedTimes.cpu) / Median(treeTimes.cpu));
    std::printf("peak memory: ParseFeedFile %s, xmlReadFile %s\n", Megabytes(feedPeak).c_str(),
                Megabytes(treePeak).c_str());

    // The careless copy: fewer runs, it is the exception.
    const int carelessRuns = std::max(1, runs / 3);
    CTimes carelessTimes, carelessTreeTimes;
    for (int run = 0; run < carelessRuns; ++run) {
        TimeOf(parseCareless, carelessTimes);
        if (!checkFeed())
            return 1;
        TimeOf(readCarelessTree, carelessTreeTimes);
    }
    const double carelessMedian = Median(carelessTimes.wall);
    std::printf("careless copy (a bare & in every item), %d runs: ParseFeedFile median %.1f ms (cpu %.1f), "
                "xmlReadFile+xmlFreeDoc median %.1f ms (cpu %.1f), ratio %.2f, cpu %.2f (target <= 1.5), "
                "peak memory %s (xmlReadFile %s)\n",
                carelessRuns, carelessMedian, Median(carelessTimes.cpu), Median(carelessTreeTimes.wall),
                Median(carelessTreeTimes.cpu), carelessMedian / Median(carelessTreeTimes.wall),
                Median(carelessTimes.cpu) / Median(carelessTreeTimes.cpu), Megabytes(carelessPeak).c_str(), Megabytes(carelessTreePeak).c_str());
    return 0;
}
