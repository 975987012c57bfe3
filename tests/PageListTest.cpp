// The item lists' rules about pages, without a display: the sort orders and
// their ties, the filters, the Date column, Previous/Next Feed over folders,
// what a list reads from a real store, and which links may leave.

#include <gtest/gtest.h>

#include <algorithm>

#include "StoreTestSupport.h"
#include "platform/Shell.h"
#include "platform/Unicode.h"
#include "session/PageList.h"
#include "update/FeedManager.h"
#include "update/Setting.h"

namespace {

CRssItem Page(const std::wstring& title, const CDateTime& date, PageState state = PageStateUnread)
{
    CRssItem page;
    page.title = title;
    page.date = date;
    page.state = state;
    return page;
}

std::vector<std::wstring> Sorted(std::vector<CRssItem> pages, int field, bool ascending)
{
    std::sort(pages.begin(), pages.end(),
              [&](const CRssItem& a, const CRssItem& b) { return PageComesBefore(a, b, field, ascending); });
    std::vector<std::wstring> titles;
    for (const CRssItem& page : pages)
        titles.push_back(page.title);
    return titles;
}

CSystemTime Day(int year, int month, int day)
{
    CSystemTime time;
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    return time;
}

} // namespace

TEST(PageListRules, EqualDatesOrderByTitleAgainstTheDirectionAndTitlesIgnoreCase)
{
    const CDateTime noon = CDateTime::FromParts(2026, 12, 8, 12, 0, 0);
    const CDateTime earlier = CDateTime::FromParts(2026, 12, 7, 9, 0, 0);
    const std::vector<CRssItem> pages = {Page(L"beta", noon), Page(L"Alpha", noon), Page(L"Gamma", earlier),
                                         Page(L"delta", noon)};
    EXPECT_EQ(Sorted(pages, kFeedSortByDate, true), (std::vector<std::wstring>{L"Gamma", L"delta", L"beta", L"Alpha"}))
        << "ascending: equal dates come alphabetically later first";
    EXPECT_EQ(Sorted(pages, kFeedSortByDate, false),
              (std::vector<std::wstring>{L"Alpha", L"beta", L"delta", L"Gamma"}));
    EXPECT_EQ(Sorted(pages, kFeedSortByTitle, true), (std::vector<std::wstring>{L"Alpha", L"beta", L"delta", L"Gamma"}))
        << "a lowercase title sorts by its letter among capitals";
    EXPECT_EQ(Sorted(pages, kFeedSortByTitle, false),
              (std::vector<std::wstring>{L"Gamma", L"delta", L"beta", L"Alpha"}));
}

TEST(PageListRules, PagesWithoutAValidDateSortAsOldestAndTheOrderStaysConsistent)
{
    // Dated and undated pages mixed in numbers: an ordering that called an
    // undated page neither before nor after a dated one would let the sort
    // read past its range; here every undated page lands at the old end.
    std::vector<CRssItem> pages;
    for (int i = 0; i < 60; ++i) {
        const CDateTime date =
            i % 3 == 0 ? CDateTime::MakeNull() : (i % 3 == 1 ? CDateTime::MakeInvalid() : CDateTime::FromParts(2026, 1, 1 + i % 28, 0, 0, 0));
        pages.push_back(Page(std::wstring(1, static_cast<wchar_t>(L'A' + i % 26)) + std::to_wstring(i), date));
    }
    std::vector<CRssItem> ascending = pages;
    std::sort(ascending.begin(), ascending.end(),
              [](const CRssItem& a, const CRssItem& b) { return PageComesBefore(a, b, kFeedSortByDate, true); });
    const auto firstDated = std::find_if(ascending.begin(), ascending.end(), [](const CRssItem& p) { return p.date.IsValid(); });
    EXPECT_EQ(firstDated - ascending.begin(), 40);
    EXPECT_TRUE(std::all_of(firstDated, ascending.end(), [](const CRssItem& p) { return p.date.IsValid(); }));
    EXPECT_TRUE(std::is_sorted(firstDated, ascending.end(),
                               [](const CRssItem& a, const CRssItem& b) { return a.date < b.date; }));
}

TEST(PageListRules, FiltersAndTheDateColumn)
{
    const CSystemTime today = Day(2026, 12, 8);
    const CRssItem todayPage = Page(L"t", CDateTime::FromParts(2026, 12, 8, 7, 5, 0), PageStateRead);
    const CRssItem yesterday = Page(L"y", CDateTime::FromParts(2026, 12, 7, 23, 59, 0));
    const CRssItem undated = Page(L"u", CDateTime());
    const CRssItem deleted = Page(L"d", CDateTime::FromParts(2026, 12, 8, 7, 5, 0), PageStateDeleted);

    EXPECT_TRUE(PassesFilter(todayPage, kFeedViewToday, today));
    EXPECT_FALSE(PassesFilter(yesterday, kFeedViewToday, today));
    EXPECT_FALSE(PassesFilter(undated, kFeedViewToday, today)) << "a page without a date is never today's";
    EXPECT_TRUE(PassesFilter(yesterday, kFeedViewUnread, today));
    EXPECT_FALSE(PassesFilter(todayPage, kFeedViewUnread, today));
    EXPECT_TRUE(PassesFilter(todayPage, kFeedViewRead, today));
    for (int filter : {kFeedViewAll, kFeedViewUnread, kFeedViewRead, kFeedViewToday})
        EXPECT_FALSE(PassesFilter(deleted, filter, today)) << "a deleted page is shown nowhere";

    const CDateCell time = DateCellOf(todayPage.date, today);
    EXPECT_EQ(time.kind, EDateCell::TimeOfDay);
    EXPECT_EQ(time.text, L"07:05");
    EXPECT_EQ(DateCellOf(yesterday.date, today).text, L"07/12/26");
    EXPECT_EQ(DateCellOf(undated.date, today).kind, EDateCell::Empty);
    EXPECT_EQ(DateCellOf(CDateTime(0.9), today).kind, EDateCell::Empty);
    EXPECT_EQ(DateCellOf(CDateTime::MakeNull(), today).kind, EDateCell::Empty);

    EXPECT_EQ(EmptyListHint(3, 0), IDS_CHECK_FILTER);
    EXPECT_EQ(EmptyListHint(0, 0), 0u) << "a feed without pages gets no hint";
}

TEST(PageListRules, PageCommandsFollowTheSelectedPage)
{
    const CRssItem read = Page(L"r", CDateTime(), PageStateRead);
    const CRssItem unread = Page(L"u", CDateTime());
    EXPECT_EQ(GreyedPageCommands(&read), std::vector<int>{ID_PAGE_MARK_READ});
    EXPECT_EQ(GreyedPageCommands(&unread), std::vector<int>{ID_PAGE_MARK_UNREAD});
    EXPECT_EQ(GreyedPageCommands(nullptr).size(), 3u);
}

TEST(PageListRules, SiblingFeedsPassOverFoldersAndStopAtTheEnds)
{
    COutline a, folder, b, emptyFolder;
    a.kind = b.kind = OutlineKindFeed;
    folder.kind = emptyFolder.kind = OutlineKindFolder;
    const std::vector<COutline*> level = {&a, &folder, &b, &emptyFolder};
    EXPECT_EQ(SiblingFeed(level, 0, 1), std::optional<size_t>(2));
    EXPECT_EQ(SiblingFeed(level, 2, -1), std::optional<size_t>(0));
    EXPECT_EQ(SiblingFeed(level, 2, 1), std::nullopt) << "only a folder follows";
    EXPECT_EQ(SiblingFeed(level, 0, -1), std::nullopt);
    EXPECT_EQ(SiblingFeed(level, 7, 1), std::nullopt);
}

TEST(PageListRules, OnlyWebAndMailLinksLeaveForTheBrowser)
{
    setenv("RSSREADER_DEBUG", "0", 1);
    std::vector<std::wstring> opened;
    SetShellOpenerForTesting([&](const std::wstring& target) {
        opened.push_back(target);
        return true;
    });
    for (const wchar_t* allowed : {L"http://example.org/a", L"HTTPS://example.org/", L" https://x.org/p?q=1 ",
                                   L"mailto:someone@example.org"})
        EXPECT_TRUE(OpenInBrowser(allowed)) << WideToUtf8(allowed);
    for (const wchar_t* refused : {L"file:///etc/passwd", L"javascript:alert(1)", L"vbscript:x", L"smb://host/share",
                                   L"x-custom-app://run", L"/relative/path", L"http:///etc/passwd", L"http:x",
                                   L"mailto:", L"-http://x.org/", L""})
        EXPECT_FALSE(OpenInBrowser(refused)) << WideToUtf8(refused);
    // Mail clients that attach the local file a link names get no such field.
    EXPECT_TRUE(OpenInBrowser(L"MAILTO:a@b.org?subject=Hi&attach=/etc/passwd&Attachment=%2Fhome&body=x&%61ttach=y"));
    EXPECT_TRUE(OpenInBrowser(L"mailto:a@b.org?attach=~/.ssh/id_rsa"));
    EXPECT_TRUE(OpenInBrowser(L"https://x.org/?attach=1"));
    SetShellOpenerForTesting({});
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"http://example.org/a", L"HTTPS://example.org/",
                                                 L"https://x.org/p?q=1", L"mailto:someone@example.org",
                                                 L"MAILTO:a@b.org?subject=Hi&body=x", L"mailto:a@b.org",
                                                 L"https://x.org/?attach=1"}));
}

class PageListStoreTest : public CTempHomeTest {};

TEST_F(PageListStoreTest, TheNewPagesAreTheNewestUnreadOnesAfterTheCutoffUpToTheCount)
{
    SetCurrentTimeForTesting(LocalTimePoint(2026, 12, 8, 12, 0));
    CSetting::Instance().SetNewItemCount(0); // 20
    CSetting::Instance().SetNewItemDays(0);  // today only
    const FeedRecord a = StoreFeed(L"http://a/");
    const FeedRecord b = StoreFeed(L"http://b/");
    // 30 unread pages today across two feeds, read ones among the newest,
    // and an unread one of yesterday.
    for (int i = 0; i < 30; ++i)
        StorePage(i % 2 ? a.feedId : b.feedId, L"http://p/" + std::to_wstring(i),
                  CDateTime::FromParts(2026, 12, 8, 11, 59 - i, 0));
    for (int i = 0; i < 5; ++i)
        StorePage(a.feedId, L"http://read/" + std::to_wstring(i), CDateTime::FromParts(2026, 12, 8, 11, 59, 30),
                  PageStateRead);
    StorePage(a.feedId, L"http://old/", CDateTime::FromParts(2026, 12, 7, 23, 0, 0));

    CPageList list;
    const CSetting& setting = CSetting::Instance();
    ASSERT_TRUE(list.LoadNew(setting.GetNewItemCutoff(), setting.GetNewItemCountValue()));
    ASSERT_EQ(list.Size(), 20u) << "read pages are skipped and do not count";
    for (size_t i = 0; i < list.Size(); ++i)
        EXPECT_EQ(list.Pages()[i]->link, L"http://p/" + std::to_wstring(i)) << "the 20 newest, newest first";

    CSetting::Instance().SetNewItemDays(1); // yesterday and today
    CSetting::Instance().SetNewItemCount(4); // 200
    ASSERT_TRUE(list.LoadNew(setting.GetNewItemCutoff(), setting.GetNewItemCountValue()));
    EXPECT_EQ(list.Size(), 31u);
}

TEST_F(PageListStoreTest, AFeedListLeavesDeletedPagesOutAndKeepsItsOptionsWithoutStaleCounters)
{
    const FeedRecord feed = StoreFeed(L"http://a/");
    StorePage(feed.feedId, L"http://a/1", CDateTime::FromParts(2026, 12, 1, 0, 0, 0));
    StorePage(feed.feedId, L"http://a/2", CDateTime::FromParts(2026, 12, 2, 0, 0, 0));
    StorePage(feed.feedId, L"http://a/3", CDateTime::FromParts(2026, 12, 3, 0, 0, 0), PageStateDeleted);

    CPageList list;
    FeedRecord record;
    ASSERT_TRUE(list.LoadFeed(L"http://a/", record));
    EXPECT_EQ(list.Size(), 2u);
    const CPageListOptions options = ListOptionsOfFeed(record);
    EXPECT_EQ(options.sortField, kFeedSortByDate) << "never set: by date";
    EXPECT_FALSE(options.ascending) << "never set: descending";

    // Another writer (an update) changed the counters since the list read
    // the record; saving the list's sort must not put the old ones back.
    CRssItem page = *list.Pages()[0];
    FeedRecord changed;
    ASSERT_TRUE(ChangePageState(page, PageStateRead, changed));
    CPageListOptions mine = options;
    mine.sortField = kFeedSortByTitle;
    mine.ascending = true;
    mine.filter = kFeedViewUnread;
    FeedRecord written;
    ASSERT_TRUE(SaveFeedListOptions(L"http://a/", mine, written));
    const FeedRecord stored = StoredFeed(L"http://a/");
    EXPECT_EQ(stored.unreadCount, 1);
    EXPECT_EQ(stored.pageCount, 2);
    EXPECT_EQ(stored.sortField, kFeedSortByTitle);
    EXPECT_EQ(stored.sortOrder, kFeedSortAscending);
    EXPECT_EQ(stored.viewFilter, kFeedViewUnread);

    EXPECT_FALSE(list.LoadFeed(L"http://missing/", record));
    EXPECT_EQ(list.Size(), 0u);
}
