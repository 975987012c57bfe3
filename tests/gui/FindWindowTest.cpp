// Find in the reader's window as the user meets it: "Find" chosen in the
// tree's Menu with the keys, the words typed, the pages listed newest first
// with their description, and the list's commands working on them as in a
// feed's list, down to the tree's counts.

#include <QLineEdit>

#include "MenuPicking.h"
#include "ReaderWindowTestSupport.h"
#include "views/DescriptionView.h"
#include "views/FindResultsDlg.h"
#include "views/FindWordsDlg.h"
#include "views/InstallDialogs.h"
#include "views/ReportList.h"

namespace {

class FindWindowTest : public CReaderWindowTest {
protected:
    void SetUp() override
    {
        CReaderWindowTest::SetUp();
        WriteTree(FeedOutline("Harbour", "/h") + FeedOutline("Weather", "/w"));
        const FeedRecord harbour = StoreFeed(Utf8ToWide(FeedUrl("/h")), L"Harbour");
        const FeedRecord weather = StoreFeed(Utf8ToWide(FeedUrl("/w")), L"Weather");
        Page(harbour.feedId, L"http://h/1", L"Ferry delayed", L"<p>Storms over the bay</p>", 3);
        Page(harbour.feedId, L"http://h/2", L"New pier opens", L"The ferries dock at the pier.", 5);
        Page(weather.feedId, L"http://w/1", L"Storm warning", L"No ferry sails today.", 4);
        Page(weather.feedId, L"http://w/2", L"Sunny", L"Clear skies.", 6);
    }

    void Page(std::uint32_t feedId, const std::wstring& key, const std::wstring& title, const std::wstring& text, int day)
    {
        PageRecord page;
        page.feedId = feedId;
        page.key = page.link = key;
        page.title = title;
        page.description = text;
        page.date = CDateTime::FromParts(2025, 3, day, 8, 0, 0);
        ASSERT_NE(CZelviaRssItemDB::Instance().WritePage(page), 0u);
    }

    static QStringList Rows(const CReportList* list)
    {
        QStringList rows;
        for (int row = 0; row < list->GetItemCount(); ++row)
            rows << list->ItemText(row, 0);
        return rows;
    }

    static PageState StoredState(const std::string& url, const std::wstring& key)
    {
        const std::vector<std::wstring> live = StoredKeys(StoredFeed(Utf8ToWide(url)).feedId);
        if (std::find(live.begin(), live.end(), key) == live.end())
            return PageStateDeleted;
        PageRecord page;
        CZelviaRssItemDB& items = CZelviaRssItemDB::Instance();
        items.Read(page, items.FindPage(key, StoredFeed(Utf8ToWide(url)).feedId));
        return page.state;
    }

    // A pilot step for the words dialog, once the edit has the focus: types
    // them over the last words (selected) and presses Done.
    static CPilot::CStep TypeWords(const QString& words)
    {
        return [words](CFullScreenDialog* dialog) {
            auto* find = qobject_cast<CFindWordsDlg*>(dialog);
            if (find == nullptr || !find->Edit()->hasFocus() || find->Edit()->selectedText() != find->Edit()->text())
                return false;
            QTest::keyClicks(find->Edit(), words);
            find->SoftKeys()->PressKey(CSoftKeyBar::kLeft);
            return true;
        };
    }
    // A pilot step for the list, once it has read its pages.
    static CPilot::CStep OnResults(std::function<void(CFindResultsDlg&)> act)
    {
        return [act](CFullScreenDialog* dialog) {
            auto* results = qobject_cast<CFindResultsDlg*>(dialog);
            if (results == nullptr || !results->IsLoaded())
                return false;
            act(*results);
            return true;
        };
    }
};

} // namespace

TEST_F(FindWindowTest, FindListsThePagesNewestFirstAndTheirCommandsWorkAsInAFeedsList)
{
    CTreeDialogs dialogs;
    InstallAllDialogs(dialogs);
    StartReader(std::move(dialogs));
    ASSERT_EQ(Shape(), "Harbour (2) Weather (2)");

    QStringList firstRows, secondRows;
    QString firstTitle, shownText;
    CPilot pilot;
    pilot.Then(TypeWords(QStringLiteral("ferry")))
        .Then(OnResults([&](CFindResultsDlg& results) {
            firstTitle = results.Title();
            firstRows = Rows(results.List());
            shownText = results.Pane()->toPlainText();
            // The first row (the newest) read, the second deleted, with the
            // list's own Menu.
            PickFromSoftKeyMenu(results.SoftKeys(), {QStringLiteral("Mark as Read")});
            results.List()->SelectRow(1);
            PickFromSoftKeyMenu(results.SoftKeys(), {QStringLiteral("Delete Page")});
            secondRows = Rows(results.List());
            // Other words: the "Find" key asks again.
            QTimer::singleShot(0, &results, [&results] { results.SoftKeys()->PressKey(CSoftKeyBar::kLeft); });
        }))
        .Then(TypeWords(QStringLiteral("storm")))
        .Then(OnResults([&](CFindResultsDlg& results) {
            EXPECT_EQ(results.Title(), QStringLiteral("Found: storm"));
            EXPECT_EQ(Rows(results.List()), QStringList{QStringLiteral("Ferry delayed")})
                << "the deleted page is found no more";
            QTimer::singleShot(0, &results, [&results] {
                PickFromSoftKeyMenu(results.SoftKeys(), {QStringLiteral("Cancel")});
            });
        }));
    ASSERT_TRUE(PickFromSoftKeyMenu(Keys(), {QStringLiteral("Find")}));
    ASSERT_TRUE(WaitFor([&] { return pilot.IsDone() && CFullScreenDialog::ActiveDialog() == nullptr; }, 20000));

    EXPECT_EQ(firstTitle, QStringLiteral("Found: ferry"));
    EXPECT_EQ(firstRows, (QStringList{QStringLiteral("New pier opens"), QStringLiteral("Storm warning"),
                                      QStringLiteral("Ferry delayed")}));
    EXPECT_TRUE(shownText.contains(QStringLiteral("ferries dock"))) << shownText.toStdString();
    EXPECT_EQ(secondRows, (QStringList{QStringLiteral("New pier opens"), QStringLiteral("Ferry delayed")}));
    EXPECT_EQ(StoredState(FeedUrl("/h"), L"http://h/2"), PageStateRead);
    EXPECT_EQ(StoredState(FeedUrl("/w"), L"http://w/1"), PageStateDeleted);
    EXPECT_EQ(StoredState(FeedUrl("/h"), L"http://h/1"), PageStateUnread);
    EXPECT_EQ(Shape(), "Harbour (1) Weather (1)") << "the tree counts again after Find";
}
