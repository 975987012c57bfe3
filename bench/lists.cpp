// bench-lists: the item lists on a large store, offscreen. 500 feeds of 200
// pages (100,000 pages, descriptions of 3,000 characters) are written to a
// scratch store; then, in interleaved rounds:
//   - a feed's list is opened and drawn (one feed of 200 pages),
//   - the "New" list is opened and drawn (NewItemCount 200, a week back),
//   - the next row is selected and the pane redrawn.
// Each is split into its parts (store read, sort and rows, drawing) so that
// the output says what dominates, and set against a baseline measured in the
// same run: the store's own one-call read of the same pages, and a bare
// QTextBrowser given the same document.
//
// Usage: bench-lists [ROUNDS]   (default 15). Build optimised.
#include <QApplication>
#include <QElapsedTimer>
#include <QTextBrowser>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Draw.h"
#include "ScratchFolder.h"
#include "platform/Clock.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "session/ReaderSession.h"
#include "update/FeedManager.h"
#include "update/Setting.h"
#include "views/DescriptionView.h"
#include "views/EpisodeListDlg.h"
#include "views/NewEpisodeListDlg.h"
#include "views/ReportList.h"
#include "views/ResText.h"

namespace {

constexpr int kFeeds = 500;
constexpr int kPagesPerFeed = 200;
constexpr int kDescriptionLength = 3000;
constexpr double kFeedListTargetMs = 100;
constexpr double kNewListTargetMs = 300;
constexpr double kNextRowTargetMs = 30;

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::wstring Words(CDraw& draw, size_t length)
{
    static const wchar_t* const kWords[] = {L"harbour", L"tide", L"ferry", L"<b>storm</b>", L"lighthouse", L"keeper",
                                            L"market", L"<a href=\"http://example.org/x\">pier</a>", L"sail",
                                            L"evening", L"crowd", L"<p>", L"</p>", L"race", L"wind", L"boat"};
    std::wstring text;
    while (text.size() < length) {
        text += kWords[draw.Below(16)];
        text += L' ';
    }
    text.resize(length);
    return text;
}

bool FillStore(CDraw& draw, std::vector<std::wstring>& urls)
{
    CZelviaRssDB& feeds = CZelviaRssDB::Instance();
    CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
    const std::wstring description = Words(draw, kDescriptionLength);
    for (int feed = 0; feed < kFeeds; ++feed) {
        const std::wstring url = L"http://feeds.example.org/" + std::to_wstring(feed);
        FeedRecord record = MakeNewFeedRecord(url, L"Feed " + std::to_wstring(feed), L"");
        if (!feeds.WriteFeed(record))
            return false;
        CRecordDatabase::CWriteGroup group(items);
        for (int page = 0; page < kPagesPerFeed; ++page) {
            PageRecord item;
            item.feedId = record.feedId;
            item.link = url + L"/" + std::to_wstring(page);
            item.key = item.link;
            item.title = Words(draw, 20 + draw.Below(60));
            item.description = description;
            item.state = draw.OneIn(3) ? PageStateRead : PageStateUnread;
            // Spread over the last fortnight, to the minute.
            item.date = CDateTime::FromParts(2026, 12, 8, 12, 0, 0).AddDays(-(draw.Below(14 * 24 * 60) / 1440.0));
            if (!items.WritePage(item))
                return false;
        }
        if (!group.Commit())
            return false;
        CRssFeedManager::WriteFeedCounted(url, record);
        urls.push_back(url);
    }
    return true;
}

struct CParts {
    std::vector<double> total, read, fill, draw, baseline;
};

void PrintRow(const char* what, const CParts& parts, double target)
{
    const double total = Median(parts.total);
    const double baseline = Median(parts.baseline);
    std::printf("%-26s %8.1f %8.1f %8.1f %8.1f %10.1f %7.1f   < %.0f %s\n", what, total, Median(parts.read),
                Median(parts.fill), Median(parts.draw), baseline, baseline > 0 ? total / baseline : 0.0, target,
                total < target ? "met" : "MISSED");
}

double Ms(QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::setenv("RSSREADER_DEBUG", "0", 1);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QApplication application(argc, argv);
#ifndef NDEBUG
    std::printf("warning: built without optimisation; the figures say little\n");
#endif
    CScratchFolder scratch;
    if (!scratch.Create("bench-lists"))
        return 1;
    const std::string folder = scratch.Path();
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    ::setenv("TZ", "UTC", 1);
    SetCurrentTimeForTesting(std::chrono::system_clock::time_point(std::chrono::seconds(1796731200))); // 2026-12-08 12:00

    CDraw draw(20261208);
    std::vector<std::wstring> urls;
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!FillStore(draw, urls)) {
        std::fprintf(stderr, "bench-lists: the store could not be filled\n");
        return 1;
    }
    std::printf("feeds: %d, pages: %d, descriptions %d characters; store filled in %.1f s\n", kFeeds,
                kFeeds * kPagesPerFeed, kDescriptionLength, fillTimer.elapsed() / 1000.0);
    CSetting::Instance().SetNewItemDays(4);  // a week
    CSetting::Instance().SetNewItemCount(4); // 200

    CReaderSession session;
    COutline outline;
    outline.kind = OutlineKindFeed;
    std::vector<COutline*> level = {&outline};
    QWidget host;
    host.resize(480, 640);
    host.show();

    CParts feedList, newList, nextRow;
    for (int round = 0; round < rounds; ++round) {
        outline.xmlUrl = urls[static_cast<size_t>(draw.Below(kFeeds))];
        outline.title = L"Feed";

        // Baseline: the store's one-call read of the same feed.
        QElapsedTimer timer;
        timer.start();
        {
            FeedRecord record;
            CZelviaRssDB::Instance().ReadFeed(record, CZelviaRssDB::Instance().FindFeedByUrl(outline.xmlUrl));
            std::vector<PageRecord> pages;
            CZelviaRssItemDB::Instance().ReadFeedPages(record.feedId, pages);
        }
        feedList.baseline.push_back(Ms(timer));

        {
            CEpisodeListDlg dialog(&host, session, level, &outline);
            QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
                // Opening, as the tree does it: load (read, sort, rows), then draw.
                QElapsedTimer part;
                part.start();
                CPageList probe;
                FeedRecord record;
                probe.LoadFeed(outline.xmlUrl, record);
                feedList.read.push_back(Ms(part));
                part.restart();
                dialog.LoadEpisodes();
                const double load = Ms(part);
                feedList.fill.push_back(std::max(0.0, load - feedList.read.back()));
                part.restart();
                dialog.window()->repaint();
                feedList.draw.push_back(Ms(part));
                feedList.total.push_back(load + feedList.draw.back());

                // The next row, with its 3,000-character description.
                part.restart();
                QTextBrowser bare;
                bare.resize(dialog.Pane()->size());
                bare.setHtml(CDescriptionView::PageDocument(ToQString(dialog.PageOfRow(2)->description)));
                bare.repaint();
                nextRow.baseline.push_back(Ms(part));
                part.restart();
                dialog.List()->SelectRow(1);
                nextRow.fill.push_back(Ms(part));
                part.restart();
                dialog.Pane()->repaint();
                nextRow.draw.push_back(Ms(part));
                nextRow.total.push_back(nextRow.fill.back() + nextRow.draw.back());
                nextRow.read.push_back(0);
                dialog.EndDialog(ID_CANCEL);
            });
            dialog.DoModal();
        }

        timer.restart();
        {
            std::vector<PageRecord> pages;
            CZelviaRssItemDB::Instance().ReadNewPages(CSetting::Instance().GetNewItemCutoff(),
                                                      CSetting::Instance().GetNewItemCountValue(), pages);
        }
        newList.baseline.push_back(Ms(timer));
        {
            CNewEpisodeListDlg dialog(&host);
            QObject::connect(&dialog, &CFullScreenDialog::shown, &dialog, [&] {
                QElapsedTimer part;
                part.start();
                CPageList probe;
                probe.LoadNew(CSetting::Instance().GetNewItemCutoff(), CSetting::Instance().GetNewItemCountValue());
                newList.read.push_back(Ms(part));
                part.restart();
                dialog.LoadEpisodes();
                const double load = Ms(part);
                newList.fill.push_back(std::max(0.0, load - newList.read.back()));
                part.restart();
                dialog.window()->repaint();
                newList.draw.push_back(Ms(part));
                newList.total.push_back(load + newList.draw.back());
                dialog.EndDialog(ID_CANCEL);
            });
            dialog.DoModal();
        }
    }

    std::printf("medians of %d rounds, ms; read = the store read, rows = sort, filter, rows and pane, draw = one "
                "repaint\n\n",
                rounds);
    std::printf("%-26s %8s %8s %8s %8s %10s %7s   %s\n", "operation", "total", "read", "rows", "draw", "baseline",
                "ratio", "target");
    PrintRow("open a feed list (200)", feedList, kFeedListTargetMs);
    PrintRow("open the New list (200)", newList, kNewListTargetMs);
    PrintRow("next row, pane redrawn", nextRow, kNextRowTargetMs);
    std::printf("\nbaselines: the store's one-call read of the same pages; for the next row, a bare QTextBrowser "
                "given the same document\n");
    SetCurrentTimeForTesting(std::nullopt);
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    return 0;
}
